# Meter on an EFM processor, family 5 (found with A.1111): the package's
# StartMode 5. The same hex-line loader as the sensor meter, with a loader
# text longer than the 15 characters the tool keeps of it.
description = EFM meter, family 5, hex-line loader
family = 5
line = 9600 8N1
pcb = 22126.001
device = 23066.000
version = 1.00
serial = 11110022
loader = efm-loader after 5004
efm = text EFM-LOADER-V2.10-B restart-ms 300 program-ms 2000
