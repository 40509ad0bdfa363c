; Blinks an LED on RB0 of a PIC16F84A at about 2 Hz with a 4 MHz crystal, and keeps a
; greeting in the data EEPROM so that every memory of the chip holds something.
        processor 16f84a
        errorlevel -302
        include <p16f84a.inc>

        __config _XT_OSC & _WDT_OFF & _PWRTE_ON & _CP_OFF
        __idlocs 0x1234

count1  equ     0x0C
count2  equ     0x0D
count3  equ     0x0E

        org     0x0000
        goto    start

        org     0x0004
        retfie

start:
        bsf     STATUS, RP0
        clrf    TRISB           ; port B all outputs
        bcf     STATUS, RP0
        clrf    PORTB
loop:
        movlw   0x01
        xorwf   PORTB, f        ; toggle RB0
        call    delay
        goto    loop

; About 250 ms at 1 us per instruction.
delay:
        movlw   d'2'
        movwf   count3
d3:     clrf    count2
d2:     clrf    count1
d1:     decfsz  count1, f
        goto    d1
        decfsz  count2, f
        goto    d2
        decfsz  count3, f
        goto    d3
        return

        org     0x2100
        de      "Tenlo", 0
        end
