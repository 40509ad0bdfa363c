; PIC18: configuration bytes at 0x300000 and EEPROM at 0xF00000.
        list    p=18f452
        include "p18f452.inc"
        errorlevel -302
        CONFIG  OSC = HS, WDT = OFF, LVP = OFF
        org     0x0000
        goto    start
        org     0x0020
start:  movlw   0x5A
        movwf   LATB, ACCESS
        bra     start
        org     0x1000
        variable n = 0
        while n < .200
        retlw   n
n += 1
        endw
        org     0x7FFE
        nop
        org     0xF00000
        de      0x01, 0x02, 0x03
        end
