; Bit 10 of the configuration word is not implemented on the 16F877; here it is cleared.
        list    p=16f877
        __config 0x3B72
        org     0x0000
        clrf    0x06
        goto    $
        end
