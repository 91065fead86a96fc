# 720q bench meter waiting in its boot loader: answers the wake-up frame
# 68 00 00 68 00 00 00 00 16 at 38400 baud with an h00h frame.
description = 720q meter in its boot loader, announces with an h00h frame
family = 0
line = 38400 8N1
boot-loader = frame h00h VE720q-BL V1.02
