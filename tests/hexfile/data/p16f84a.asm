; Counts on PORTB; EEPROM contents kept in a separate data file by the GUI.
        list    p=16f84a
        include "p16f84a.inc"
        errorlevel -302
        __config _XT_OSC & _WDT_OFF & _PWRTE_ON & _CP_OFF
        org     0x0000
        goto    main
        org     0x0004
        retfie
main:   bsf     STATUS, RP0
        clrf    TRISB
        bcf     STATUS, RP0
loop:   incf    PORTB, F
        goto    loop
; A lookup table long enough for records of 255 data bytes.
        org     0x0100
        variable n = 0
        while n < .200
        retlw   n
n += 1
        endw
        org     0x03FF
        nop
        end
