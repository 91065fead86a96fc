# Meter with a digital sensor on an EFM processor, family 4 (found with
# A.1131): the package's StartMode 4. Its application takes the download
# request A.5004 and hands the line to its hex-line loader, which raises the
# rate to 115200 baud and falls back to 9600 once the image is programmed.
# Like every instrument it acknowledges A.1111, so the EFM demo package
# (StartMode 5) finds it as well.
description = EFM meter with digital sensor, family 4, hex-line loader
family = 4
line = 9600 8N1
pcb = 22125.001,30530.002
device = 23065.000,30530.001
version = 1.00,1.10
serial = 11110021,22220021
loader = efm-loader after 5004
efm = text EFM-LDR-2.04 restart-ms 400 program-ms 1500
