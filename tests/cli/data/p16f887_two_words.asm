; A 16F887 program: its second configuration word at 0x2008 has no place on a 16F877A.
        list    p=16f887
        __config 0x2007, 0x2FF2
        __config 0x2008, 0x3EFF
        org     0x0000
        goto    $
        end
