// The fourteen payload files embedded in the installer's image, delimited by fifteen marks.
// Contract: block i (1..14) is the byte range [payload_mark_(i-1), payload_mark_i); read-only, alive for the whole process.
//
//   payload_mark_0  +---------------------------+
//                   |  1  Brindavel.exe         |  product executable
//   payload_mark_1  +---------------------------+
//                   |  2  Notiz.txt             |  notes text
//   payload_mark_2  +---------------------------+
//                   |  3  Temperatur-1.dsb      |
//   payload_mark_3  +---------------------------+
//                   |  4  Temperatur-2.dsb      |
//   payload_mark_4  +---------------------------+
//                   |  5  Temperatur-3.dsb      |
//   payload_mark_5  +---------------------------+
//                   |  6  Temperatur-4.dsb      |
//   payload_mark_6  +---------------------------+
//                   |  7  Temperatur-5.dsb      |
//   payload_mark_7  +---------------------------+
//                   |  8  Temperatur-6.dsb      |  worksheets
//   payload_mark_8  +---------------------------+
//                   |  9  Temperatur-1'.dsb     |
//   payload_mark_9  +---------------------------+
//                   | 10  Temperatur-2'.dsb     |
//   payload_mark_10 +---------------------------+
//                   | 11  Temperatur-3'.dsb     |
//   payload_mark_11 +---------------------------+
//                   | 12  Temperatur-4'.dsb     |
//   payload_mark_12 +---------------------------+
//                   | 13  Temperatur-5'.dsb     |
//   payload_mark_13 +---------------------------+
//                   | 14  Temperatur-6'.dsb     |
//   payload_mark_14 +---------------------------+
//
// No length is stored anywhere: a block's size is its end mark minus its start mark. The blocks are the files
// exactly as they are to appear on disk (no header, no compression), taken at build time from the payload folder.
#pragma once

extern "C" const char payload_mark_0[], payload_mark_1[], payload_mark_2[], payload_mark_3[], payload_mark_4[],
    payload_mark_5[], payload_mark_6[], payload_mark_7[], payload_mark_8[], payload_mark_9[], payload_mark_10[],
    payload_mark_11[], payload_mark_12[], payload_mark_13[], payload_mark_14[];
