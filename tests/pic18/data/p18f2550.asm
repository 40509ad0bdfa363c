; Code at the reset vector, a table that crosses into the upper 16 KB, the last word,
; configuration and data EEPROM.
        list    p=18f2550
        include "p18f2550.inc"
        CONFIG  FOSC = HS, WDT = OFF, LVP = OFF, PLLDIV = 5, CPUDIV = OSC1_PLL2, USBDIV = 2
        org     0x0000
        goto    start
        org     0x0020
start:  movlw   0x3C
        movwf   LATB, ACCESS
        bra     start
        org     0x3F80
        variable n = 0
        while n < .200
        retlw   n
n += 1
        endw
        org     0x7FFE
        nop
        org     0xF00000
        de      0xC0, 0xFF, 0xEE
        org     0xF000FE
        de      0x12, 0x34
        end
