; Configuration word as mikroC writes it, with the unimplemented bits 12, 5 and 4 cleared, and
; four user IDs.
        list    p=16f877a
        __config 0x2F4A
        org     0x2000
        dw      0x1234, 0x0567, 0x2ABC, 0x3DEF
        org     0x0000
        goto    start
        org     0x0004
start:  movlw   0x5A
        goto    $
        end
