; Boot sector program of a FAT12 or FAT16 volume (assembled with -DFAT16 for
; the FAT16 one): 448 bytes at sector offset 62. The FAT12 program starts at
; its first byte; the FAT16 program begins with a data word and starts at
; sector offset 64.
;
; Loaded at 0000:7C00 with the boot drive in DL (the drive number of the BPB
; is not used). It reads everything from the BPB of its own sector: reserved
; sectors, FAT count and size, root entries, sectors per cluster, hidden
; sectors (added to every sector number), sectors per track and heads.
; Each read tries the BIOS extended read, then a CHS read with the BPB
; geometry; four rounds, with a drive reset after each failed round.
;
; Loading contract for IO.SYS:
;   - the file is looked up by its directory name "IO      SYS" in the root
;     directory (the FAT16 program then tries "WINBOOT SYS");
;   - the whole file, cluster by cluster along its FAT chain, is read to
;     0070:0000 upwards; at most 556 KB (up to linear 0x8FFFF) is loaded;
;   - it is started at 0070:0000 with DL = BIOS boot drive, DS = 9000h,
;     DS:BP = a copy of the boot sector (with its BPB; its first 11 bytes
;     have served as the loader's variables), DS:SI = the 11-byte
;     directory name "MSDOS   SYS" (the file the system reads next),
;     SS:SP below 9000:7C00, interrupts enabled.
; Errors: no such file, a cluster chain leaving the data area or a file too
; large show "Invalid system disk"; a read that keeps failing shows
; "Disk I/O error". Both are followed by "Replace the disk, and then press
; any key"; a key restarts the boot (INT 19h).

        cpu 386
        bits 16
        org 0x7C00 + 62

BPB         equ 0x7C00      ; fields below are relative to BP = BPB
secPerClus  equ 13
reserved    equ 14
numFats     equ 16
rootEntries equ 17
fatSectors  equ 22
secPerTrack equ 24
heads       equ 26
hidden      equ 28

drive       equ 0           ; variables in the jump and name bytes of the copy
dataStart   equ 2
nextSeg     equ 4

HOME        equ 0x9000      ; segment the sector moves to
BUF         equ 0x9050      ; segment of the directory and FAT buffer
LOADSEG     equ 0x0070
LASTSEG     equ 0x8C00      ; no cluster starts above this segment

%ifdef FAT16
loadSeg:    dw LOADSEG
%endif

start:
        mov bp, BPB
        xor ax, ax
        mov ds, ax
        mov ss, ax
        mov sp, bp
        mov si, bp
        mov di, bp
        mov ax, HOME
        mov es, ax
        mov cx, 256
        cld
        rep movsw
        mov ss, ax
        push ax
        push word moved
        retf

moved:
        push cs
        pop ds
        mov [bp + drive], dl
        mov si, ioName
search:
        mov al, [bp + numFats]
        cbw
        mul word [bp + fatSectors]
        add ax, [bp + reserved]
        mov cx, [bp + rootEntries]
        shr cx, 4
        mov bx, ax
        add bx, cx
        mov [bp + dataStart], bx
.sector:
        mov bx, BUF
        mov es, bx
        call readSector
        mov es, bx
        mov di, 512 - 32
.entry:
        pusha
        mov cx, 11
        repe cmpsb
        popa
        je found
        sub di, 32
        jnc .entry
        loop .sector
%ifdef FAT16
        add si, 11
        cmp si, msdosName
        jb search
%endif

invalid:
        mov si, msgInvalid
fail:
        call print
        mov si, msgReplace
        call print
        xor ax, ax
        int 0x16
        int 0x19

print:
        lodsb
        test al, al
        jz .end
        mov ah, 0x0E
        mov bx, 7
        int 0x10
        jmp print
.end:
        ret

found:
        mov ax, [es:di + 26]
        mov word [bp + nextSeg], LOADSEG
cluster:
        cmp ax, 2
        jb invalid
%ifdef FAT16
        cmp ax, 0xFFF8
%else
        cmp ax, 0x0FF8
%endif
        jae loaded
        mov es, [bp + nextSeg]
        cmp word [bp + nextSeg], LASTSEG
        ja invalid
        push ax
        dec ax
        dec ax
        movzx cx, byte [bp + secPerClus]
        mul cx
        add ax, [bp + dataStart]
        adc dx, 0
.read:
        call readSector
        loop .read
        mov [bp + nextSeg], es
        pop si

        ; next cluster: the FAT entry of cluster si, from FAT 1
%ifdef FAT16
        mov bx, si
        movzx ax, bh
        xor bh, bh
        shl bx, 1
%else
        mov bx, si
        shr bx, 1
        add bx, si
        mov ax, bx
        shr ax, 9
        and bh, 1
%endif
        xor dx, dx
        add ax, [bp + reserved]
        mov cx, BUF
        mov es, cx
        call readSector
        call readSector
        mov es, cx
        mov ax, [es:bx]
%ifndef FAT16
        test si, 1
        jz .even
        shr ax, 4
.even:
        and ah, 0x0F
%endif
        jmp cluster

loaded:
        mov dl, [bp + drive]
        mov si, msdosName
        push word [loadSeg]
        push word 0
        retf

; Reads volume sector DX:AX to ES:0000, then moves DX:AX on to the next
; sector and ES 512 bytes on. Keeps every other register.
readSector:
        pusha
        add ax, [bp + hidden]
        adc dx, [bp + hidden + 2]
        mov di, 4
.try:
        pusha
        push dword 0
        push dx
        push ax
        push es
        push word 0
        push word 1
        push word 0x10
        mov si, sp
        mov ah, 0x42
        mov dl, [bp + drive]
        int 0x13
        lea sp, [si + 16]
        jnc .done
        popa
        pusha
        div word [bp + secPerTrack]
        inc dx
        mov cl, dl
        xor dx, dx
        div word [bp + heads]
        mov dh, dl
        mov ch, al
        shl ah, 6
        or cl, ah
        xor bx, bx
        mov ax, 0x0201
        mov dl, [bp + drive]
        int 0x13
        jnc .done
        xor ax, ax
        int 0x13
        stc
.done:
        popa
        jnc .ok
        dec di
        jnz .try
        mov si, msgIoError
        jmp fail
.ok:
        mov bx, es
        add bx, 0x20
        mov es, bx
        popa
        inc ax
        jnz .same
        inc dx
.same:
        ret

msgInvalid: db "Invalid system disk", 0
msgIoError: db "Disk I/O error", 0
msgReplace: db 13, 10, "Replace the disk, and then press any key", 0
ioName:     db "IO      SYS"
%ifdef FAT16
winbootName: db "WINBOOT SYS"
%endif
msdosName:  db "MSDOS   SYS"
%ifndef FAT16
loadSeg:    dw LOADSEG
%endif

        times 448 - ($ - $$) db 0
