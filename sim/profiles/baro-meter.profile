# Barometric instrument: device 28101 from version 0.102 on takes an air-pressure
# reference; serial 14111108 is the first row of the air-pressure table (961.7 hPa).
description = barometric instrument, takes A.6162
family = 0
line = 4800 8N1
pcb = 22090.001
device = 28101.000
version = 1.02
serial = 14111108
accept = 6162
