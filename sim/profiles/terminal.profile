# Terminal instrument: answers the download command with its variant (I.208#0,
# the H image) and takes A.1220.
description = terminal instrument, variant 0
family = 0
line = 9600 8N1
pcb = 22030.001
device = 21130.000
version = 3.02
serial = 11110007
special = 208#0 after 1200
accept = 1220
