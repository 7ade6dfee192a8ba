; Start-up for the Z80 programs of the tests and benchmarks: the stack at the
; top of target RAM, main called, and on its return the break instruction
; RST 38h, which stops the program on the debugger's break vector.
;
; This file is linked first: `start` is the first byte of the code area
; (--code-loc), and the areas below are placed in the order given here.
; Nothing is copied or cleared before main: a program keeps no variable
; with an initial value and sets every variable it reads.

	.module	crt0
	.globl	_main

	.area	_CODE
start::
	ld	sp, #0xFF00		; the stack grows down from FF00h in target RAM
	call	_main
stop::
	rst	0x38			; the configured software break

	; code and constants together from --code-loc on, variables from --data-loc on
	.area	_INITIALIZER
	.area	_HOME
	.area	_GSINIT
	.area	_GSFINAL
	.area	_DATA
	.area	_INITIALIZED
	.area	_BSEG
	.area	_BSS
	.area	_HEAP
