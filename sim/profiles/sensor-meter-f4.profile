# Meter with a digital sensor, family 4 (found with A.1131). It needs 2.5 s to wake
# its sensor: it answers I.1131#2500 at once and acknowledges 2.5 s later.
description = meter with digital sensor, family 4, asks for 2500 ms
family = 4
line = 4800 8N1
pcb = 22113.001,30520.002
device = 23053.000,30520.001
version = 1.00,1.20
serial = 11110005,22220005
special = 1131#2500 after 1131
