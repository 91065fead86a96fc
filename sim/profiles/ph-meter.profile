# Bench pH meter, family 0 (found with A.1111). The default instrument of instrument-sim.
description = pH meter, command set of family 0
family = 0
line = 4800 8N1
pcb = 22074.001
device = 23010.000
version = 1.23
serial = 11110001
