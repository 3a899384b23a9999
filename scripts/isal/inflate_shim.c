/* The few helpers igzip's inflater calls that live in objects which would
 * otherwise pull the whole compressor and every CRC variant into the
 * launcher. The bodies are those of the library's own igzip.c. The launcher
 * only inflates zlib streams, so the gzip CRC takes the plain table routine. */
#include <stdint.h>
#include <stddef.h>

#include "igzip_lib.h"

#define ADLER_MOD 65521

uint32_t isal_adler32(uint32_t init, const unsigned char *buf, uint64_t len);
uint32_t crc32_gzip_refl_base(uint32_t init_crc, const unsigned char *buf, uint64_t len);

/* The inflater keeps Adler-32 as B | (A - 1) so that it starts at 0 like a CRC. */
uint32_t isal_adler32_bam1(uint32_t adler32, const unsigned char *start, uint64_t length)
{
	uint64_t a = adler32 & 0xffff;
	a = (a == ADLER_MOD - 1) ? 0 : a + 1;
	adler32 = isal_adler32((adler32 & 0xffff0000) | a, start, length);
	a = adler32 & 0xffff;
	a = (a == 0) ? ADLER_MOD - 1 : a - 1;
	return (adler32 & 0xffff0000) | a;
}

uint32_t crc32_gzip_refl(uint32_t init_crc, const unsigned char *buf, uint64_t len)
{
	return crc32_gzip_refl_base(init_crc, buf, len);
}

void isal_gzip_header_init(struct isal_gzip_header *gz_hdr)
{
	gz_hdr->text = 0;
	gz_hdr->time = 0;
	gz_hdr->xflags = 0;
	gz_hdr->os = 0xff;
	gz_hdr->extra = NULL;
	gz_hdr->extra_buf_len = 0;
	gz_hdr->extra_len = 0;
	gz_hdr->name = NULL;
	gz_hdr->name_buf_len = 0;
	gz_hdr->comment = NULL;
	gz_hdr->comment_buf_len = 0;
	gz_hdr->hcrc = 0;
}
