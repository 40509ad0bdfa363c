; Program with data EEPROM contents, as Microchip's tools place them at 0x2100.
        list    p=16f877a
        include "p16f877a.inc"
        __config _HS_OSC & _WDT_OFF & _LVP_OFF & _CP_OFF
        org     0x0000
        goto    start
        org     0x0004
        retfie
start:  movlw   0x55
        movwf   PORTB
        goto    $
        org     0x1FFF
        sleep
        org     0x2100
        de      0x12, 0x34, "AB"
        de      0x99
        end
