; Code at the reset vector, a table that crosses from the first 8 KB into the second, the last
; word, configuration and data EEPROM.
        list    p=18f2431
        include "p18f2431.inc"
        CONFIG  OSC = HS, WDTEN = OFF, LVP = OFF
        org     0x0000
        goto    start
        org     0x0020
start:  movlw   0x24
        movwf   LATB, ACCESS
        bra     start
        org     0x1F80
        variable n = 0
        while n < .200
        retlw   n
n += 1
        endw
        org     0x3FFE
        nop
        org     0xF00000
        de      0x24, 0x31
        end
