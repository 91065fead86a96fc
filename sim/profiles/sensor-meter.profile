# Meter with a digital sensor, family 2: numbers come as "meter,sensor".
# It carries a sensor-identification module and says so after A.1000.
description = meter with digital sensor and sensor-ID module, family 2
family = 2
line = 19200 8N1
pcb = 22111.004,30503.002
device = 23051.000,30503.001
version = 1.40,2.05
serial = 11110003,22220003
special = 262 after 1000
