* step the program and print its registers
nlist
{SHOWREGS
PF 'pc=%%04x a=%%02x\n',_PC,_A
}
{STEPS
FOR{ CNT=0,CNT<%0,CNT=CNT+1
T
SHOWREGS
}
}
list
