# Bottlex that is not in update mode: refuses the first search with I.1132,
# acknowledges from the second on (after the user switched update mode on).
description = Bottlex, refuses the first search (1132)
family = 0
line = 9600 8N1
pcb = 22140.001
device = 24010.000
version = 1.10
serial = 11110009
special = 1132 after 1111 times 1
