# Data logger on a Windows CE image at 4800 baud, start-up program 1.10. Its
# package entry sends extra files after the application (a library, the
# start-up program, a data file). The notice for the start-up program
# (A.2100) is not the application's: it refuses it ("A.2100?").
description = Windows CE data logger, start-up program 1.10, extra files
family = 0
line = 4800 8N1
pcb = 22410.001
device = 24110.000
version = 2.00
serial = 11110032
startup-version = 1.10
loader = wince-receiver after 1300
wince = rate 38400
