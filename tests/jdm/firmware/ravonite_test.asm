; A small program for the programmer's own microcontroller, used to check a whole firmware
; update: a few instructions, a text table and a word near the top of program memory.
        processor 12f629
        #include <p12f629.inc>
        errorlevel -302
        __config _INTRC_OSC_NOCLKOUT & _WDT_OFF & _PWRTE_ON & _MCLRE_OFF & _BODEN_ON & _CP_OFF & _CPD_OFF

        org     0x000
        goto    start
        org     0x004
        retfie
start:
        bsf     STATUS, RP0
        call    0x3FF           ; the factory calibration value, as RETLW
        movwf   OSCCAL
        bcf     STATUS, RP0
        movlw   0x5A
        movwf   0x20
loop:
        goto    loop

        org     0x100
table:
        dt      "Ravonite firmware test"

        org     0x3FE
        retlw   0x3F
        end
