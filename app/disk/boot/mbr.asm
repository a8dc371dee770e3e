; Master boot record program: 446 bytes at sector offset 0.
;
; Loaded by the BIOS at 0000:7C00 with the boot drive in DL. It moves itself
; to 0000:0600, looks for the one active entry of the partition table, reads
; that partition's first sector to 0000:7C00 and starts it there with
; DL = boot drive and DS:SI = the active partition entry.
; Reads use the BIOS extended read when the BIOS has it, the entry's CHS
; address otherwise; each read is tried five times with a drive reset between.
;
; Errors: a boot flag other than 0 and 0x80, or two active entries, show
; "Invalid partition table"; no active entry, or a partition sector without
; the 55AA signature, "Missing operating system"; a read that keeps failing
; "Error loading operating system". The program then halts.

        cpu 386
        bits 16
        org 0x0600

TABLE   equ 0x07BE          ; partition table in the moved copy
LOADED  equ 0x7C00
drive   equ 0x0800          ; variables after the moved copy
useExt  equ 0x0801

start:
        cli
        xor ax, ax
        mov ss, ax
        mov sp, LOADED
        mov ds, ax
        mov es, ax
        sti
        cld
        mov si, LOADED
        mov di, 0x0600
        mov cx, 256
        rep movsw
        jmp 0:moved

moved:
        mov [drive], dl
        mov si, TABLE
        mov cx, 4
        xor bp, bp
.scan:
        mov al, [si]
        test al, 0x7F
        jnz badTable
        test al, al
        jz .next
        test bp, bp
        jnz badTable
        mov bp, si
.next:
        add si, 16
        loop .scan
        test bp, bp
        jz missing

        mov ah, 0x41
        mov bx, 0x55AA
        mov dl, [drive]
        int 0x13
        mov al, 0
        jc .setExt
        cmp bx, 0xAA55
        jne .setExt
        and cl, 1
        mov al, cl
.setExt:
        mov [useExt], al

        mov di, 5
.try:
        pusha
        mov dl, [drive]
        cmp byte [useExt], 0
        je .chs
        push dword 0
        push dword [bp + 8]
        push es
        push word LOADED
        push word 1
        push word 0x10
        mov si, sp
        mov ah, 0x42
        int 0x13
        lea sp, [si + 16]
        jmp .done
.chs:
        mov dh, [bp + 1]
        mov cx, [bp + 2]
        mov bx, LOADED
        mov ax, 0x0201
        int 0x13
.done:
        popa
        jnc .read
        pusha
        xor ax, ax
        mov dl, [drive]
        int 0x13
        popa
        dec di
        jnz .try
        mov si, msgLoad
        jmp fail

.read:
        cmp word [LOADED + 510], 0xAA55
        jne missing
        mov si, bp
        mov dl, [drive]
        jmp 0:LOADED

badTable:
        mov si, msgTable
        jmp fail
missing:
        mov si, msgMissing
fail:
        lodsb
        test al, al
        jz .halt
        mov ah, 0x0E
        mov bx, 7
        int 0x10
        jmp fail
.halt:
        hlt
        jmp .halt

msgTable:   db "Invalid partition table", 0
msgLoad:    db "Error loading operating system", 0
msgMissing: db "Missing operating system", 0

        times 446 - ($ - $$) db 0
