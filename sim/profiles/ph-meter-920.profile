# Old meter 20363 (version below 1.050): after the download command it reports
# 920 with its pressure reading and then takes A.1500.
description = meter 20363, version 1.04, answer 920 after A.1200
family = 0
line = 4800 8N1
pcb = 22075.002
device = 20363.000
version = 1.04
serial = 11110010
special = 920$1013.5 after 1200 delay 200
accept = 1500
