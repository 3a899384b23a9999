; isal_adler32 picking the fastest Adler-32 routine for the CPU at its first
; call, as the library's own dispatcher does, without the compressor's
; dispatchers that share its object file.
%include "reg_sizes.asm"
%include "multibinary.asm"

default rel
[bits 64]

extern adler32_base
extern adler32_avx2_4
extern adler32_sse

mbin_interface		isal_adler32
mbin_dispatch_init5	isal_adler32, adler32_base, adler32_sse, adler32_sse, adler32_avx2_4
