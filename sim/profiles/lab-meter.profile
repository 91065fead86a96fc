# Lab meter of family 1 (found with A.1000), with a second processor: version "main,second".
description = lab meter with a second processor, family 1
family = 1
line = 9600 8N1
pcb = 22081.003
device = 23510.000
version = 2.10,1.05
serial = 11110002
