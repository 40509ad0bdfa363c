; Eight-word latch rows hold the user IDs and the configuration word together; bit 13 of the
; configuration word is not implemented and cleared here.
        list    p=16f917
        __config 0x1FE4
        org     0x2000
        dw      0x0001, 0x0020, 0x0300, 0x3000
        org     0x0000
        nop
        goto    $
        end
