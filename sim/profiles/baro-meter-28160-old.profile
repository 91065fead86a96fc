# Barometric instrument 28160 with software 0.100: too old for an air-pressure
# reference (from 0.101 on), so the tool must not send one; it would be refused.
description = barometric instrument 28160, version 0.100 (no reference)
family = 0
line = 4800 8N1
pcb = 22092.001
device = 28160.000
version = 0.100
serial = 14120331
