/* The fourteen payload files, byte for byte and back to back, in the installer's read-only data.
   Contract: fifteen global marks payload_mark_0..14; block i is [payload_mark_(i-1), payload_mark_i), order as in payload.h. */

/* C names carry the platform's symbol prefix (an underscore on 32-bit Windows). */
#define GLUE2(a, b) a##b
#define GLUE(a, b) GLUE2(a, b)
#define MARK(n) GLUE(__USER_LABEL_PREFIX__, payload_mark_##n)

/* The files are found through the assembler's include path: the build passes the payload folder with -Wa,-I. */
#define MARK_AT(n)  .globl MARK(n); MARK(n):

        .section .rdata$brv_payload, "dr"
        MARK_AT(0)
        .incbin "Brindavel.exe"
        MARK_AT(1)
        .incbin "Notiz.txt"
        MARK_AT(2)
        .incbin "Temperatur-1.dsb"
        MARK_AT(3)
        .incbin "Temperatur-2.dsb"
        MARK_AT(4)
        .incbin "Temperatur-3.dsb"
        MARK_AT(5)
        .incbin "Temperatur-4.dsb"
        MARK_AT(6)
        .incbin "Temperatur-5.dsb"
        MARK_AT(7)
        .incbin "Temperatur-6.dsb"
        MARK_AT(8)
        .incbin "Temperatur-1'.dsb"
        MARK_AT(9)
        .incbin "Temperatur-2'.dsb"
        MARK_AT(10)
        .incbin "Temperatur-3'.dsb"
        MARK_AT(11)
        .incbin "Temperatur-4'.dsb"
        MARK_AT(12)
        .incbin "Temperatur-5'.dsb"
        MARK_AT(13)
        .incbin "Temperatur-6'.dsb"
        MARK_AT(14)
