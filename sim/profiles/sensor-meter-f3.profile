# Meter with a digital sensor, family 3; the meter's own version is not known ("Y.YY").
description = meter with digital sensor, family 3, meter version Y.YY
family = 3
line = 9600 8N1
pcb = 22112.001,30510.002
device = 23052.000,30510.001
version = Y.YY,1.10
serial = 11110004,22220004
