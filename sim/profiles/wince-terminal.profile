# Terminal on a Windows CE image. Its start-up program answers I.2011#1.05
# before the software version; the application acknowledges A.1300#38400 at
# 9600 baud and hands the line to the file receiver at 38400 baud, which
# hands it back after the rate back (A.1300#9600).
description = Windows CE terminal, start-up program 1.05
family = 0
line = 9600 8N1
pcb = 22400.001
device = 24100.000
version = 1.00
serial = 11110031
startup-version = 1.05
loader = wince-receiver after 1300
wince = rate 38400
