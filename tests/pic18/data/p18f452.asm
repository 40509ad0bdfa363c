; Code at the reset vector, a table that crosses from panel 0 into panel 1, words in the last
; panel, configuration and data EEPROM.
        list    p=18f452
        include "p18f452.inc"
        CONFIG  OSC = HS, WDT = OFF, LVP = OFF, PWRT = ON
        org     0x0000
        goto    start
        org     0x0020
start:  movlw   0x5A
        movwf   LATB, ACCESS
        bra     start
        org     0x1F80
        variable n = 0
        while n < .200
        retlw   n
n += 1
        endw
        org     0x6000
        data    0x1234, 0x5678
        org     0x7FFE
        nop
        org     0xF00000
        de      0x01, 0x02, 0x03, 0xFE
        org     0xF000FF
        de      0x5A
        end
