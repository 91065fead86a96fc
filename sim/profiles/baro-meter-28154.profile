# Barometric instrument 28154 whose serial number is not in the air-pressure
# table: it gets the default reference of 947.0 hPa.
description = barometric instrument 28154, serial not in the table
family = 0
line = 4800 8N1
pcb = 22091.001
device = 28154.000
version = 1.10
serial = 14999999
accept = 6162
