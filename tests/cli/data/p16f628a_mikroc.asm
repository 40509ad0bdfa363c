; Configuration word as mikroC writes it, with the unimplemented bit 9 cleared.
        list    p=16f628a
        __config 0x3D6A
        org     0x0000
        movlw   0x07
        movwf   0x1F
        goto    $
        end
