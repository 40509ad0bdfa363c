; Code at the reset vector, a table near the end of the one panel, the last word,
; configuration and data EEPROM.
        list    p=18f1220
        include "p18f1220.inc"
        CONFIG  OSC = INTIO2, WDT = OFF, LVP = OFF, PWRT = ON
        org     0x0000
        goto    start
        org     0x0020
start:  movlw   0xA5
        movwf   LATB, ACCESS
        bra     start
        org     0x0F00
        variable n = 0
        while n < .100
        retlw   n
n += 1
        endw
        org     0x0FFE
        nop
        org     0xF00000
        de      0x10, 0x20, 0x30
        org     0xF00080
        de      0x00
        end
