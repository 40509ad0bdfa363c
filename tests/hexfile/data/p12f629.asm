; Calibrated oscillator start-up and user ID words.
        list    p=12f629
        include "p12f629.inc"
        __config _INTRC_OSC_NOCLKOUT & _WDT_OFF & _MCLRE_OFF & _CP_OFF
        __idlocs 0x1234
        org     0x0000
        bsf     STATUS, RP0
        call    0x3FF
        movwf   OSCCAL
        bcf     STATUS, RP0
        clrw
        goto    $
        end
