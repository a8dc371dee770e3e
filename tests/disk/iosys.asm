; A small IO.SYS for the boot tests: its code lies in its second cluster
; (16 KB on), so it runs only when the whole file was loaded along the FAT
; chain. Shows a marker and the name it was handed in DS:SI, then halts.
        bits 16
        org 0
        jmp 0x0070:second
        times 16384 + 64 - ($ - $$) db 0
second:
        push si
        push cs
        pop ds
        mov si, marker
        call print
        pop si
        mov ax, 0x9000
        mov ds, ax
        mov cx, 11
.name:
        lodsb
        call putc
        loop .name
.halt:
        hlt
        jmp .halt
print:
        lodsb
        test al, al
        jz .end
        call putc
        jmp print
.end:
        ret
putc:
        mov ah, 0x0E
        mov bx, 7
        int 0x10
        ret
marker: db "KV-IOSYS-MARKER:", 0
