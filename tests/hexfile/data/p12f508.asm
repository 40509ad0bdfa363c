; 12-bit part: the configuration word goes to word 0xFFF.
        list    p=12f508
        include "p12f508.inc"
        __config _IntRC_OSC & _WDT_OFF & _CP_OFF & _MCLRE_OFF
        org     0x0000
        movwf   OSCCAL
        movlw   0x3F
        tris    GPIO
        goto    $
        end
