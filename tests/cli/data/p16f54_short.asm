; Only the four implemented bits of the configuration word are given; bits 11 to 4 are 0.
        list    p=16f54
        __config 0x00A
        org     0x0000
        movlw   0x12
        goto    $
        end
