# Meter of family 5 whose software version is unknown ("X.XX": no serial number
# query follows). It loads its own firmware after A.1200: it reports stored data
# (I.30) 3 s later and, once its clock is set, that it is done (I.31).
description = meter of family 5, version X.XX, own download with answers 30 and 31
family = 5
line = 2400 8N1
pcb = 22120.002
device = 23060.000
version = X.XX
serial = 11110006
special = 30 after 1200 delay 3000
special = 31 after 1600 delay 500
