#include "paradox/CollationData.h"

#include <array>

namespace paradox {

// The tables below restate, in our own notation, the collation tables that the open-source
// Firebird server ships for the same sort orders (its src/intl/collations directory, read from
// a stored copy of the repository): primary and secondary weights, which bytes expand to two
// letters, letter pairs sorting as one letter, and the upper-case map. Tertiary weights are
// empty in all of them, so the notation leaves them out. Each table sorted random strings
// exactly as that server's ORDER BY ... COLLATE did, and its upper-case map equals the
// server's UPPER(), except for one thing: the server keeps secondary weights in 4 bits, so
// letters whose secondary weight is 16 or more there ('Ã', 'ä', 'Ä' in ANSII850; 'Å', 'Ø',
// 'æ', 'Æ' in ANSISPAN) wrap below the plain lower-case letter; the tables' values are kept.
// 'intl850' alone is not restated but derived from ANSII850 (see its comment).
namespace {

// 'intl', code page 437: Firebird's PDOX_INTL (pd437intl.h).
constexpr CollationSource kIntl437{
    "intl", 0xB7, 437,
    "00-40 61,A0,85,83,41,84+65=8E+45 62,42 63,87,43,80 64,44 65,89,82,8A,88,45,90 66,46 67,47 "
    "68,48 69,8B,A1,8D,8C,49 6A,4A 6B,4B 6C,4C 6D,4D 6E,A4,4E,A5 6F,A2,95,93,4F,94+65=99+45 "
    "70,50 71,51 72,52 73,53,E1+73 74,54 75,A3,97,96,55,81+65=9A+45 76,56 77,57 78,58 "
    "79,98,59 7A,5A 86 8F 5B-60 7B-7F 91 92 9B-9F A6-E0 E2-FF",
    "81:9A 82:45 83:41 84:8E 85:41 86:8F 87:80 88:45 89:45 8A:45 8B:49 8C:49 8D:49 91:92 93:4F "
    "94:99 95:4F 96:55 97:55 98:59 A0:41 A1:49 A2:4F A3:55 A4:A5 ED:E8"};

// 'ANSIINTL', code page 1252: Firebird's PXW_INTL (pw1252intl.h).
constexpr CollationSource kAnsiIntl{
    "ANSIINTL", 0x62, 1252,
    "00-40 61,E1,E0,E2,E3,41,C1,C0,C2,C3,E4+65=C4+45 62,42 63,E7,43,C7 64,F0,44,D0 "
    "65,EB,E9,E8,EA,45,CB,C9,C8,CA 66,46 67,47 68,48 69,EF,ED,EC,EE,49,CF,CD,CC,CE 6A,4A "
    "6B,4B 6C,4C 6D,4D 6E,F1,4E,D1 6F,F3,F2,F4,F5,F8,4F,D3,D2,D4,D5,D8,F6+65=D6+45 70,50 "
    "71,51 72,52 73,53,DF+73 74,54,FE+68=DE+48 75,FA,F9,FB,55,DA,D9,DB,FC+65=DC+45 76,56 "
    "77,57 78,58 79,FF,FD,59,DD 7A,5A E5 C5 5B-60 7B-7F E6 C6 80-BF D7 F7",
    "E0:41 E1:41 E2:41 E3:C3 E4:C4 E5:C5 E6:C6 E7:C7 E8:45 E9:45 EA:45 EB:45 EC:49 ED:49 EE:49 "
    "EF:49 F0:D0 F1:D1 F2:4F F3:4F F4:4F F5:D5 F6:D6 F8:D8 F9:55 FA:55 FB:55 FC:DC FD:59 FE:DE "
    "FF:59"};

// 'ANSII850', code page 1252: Firebird's PXW_INTL850 (pw1252i850.h).
constexpr CollationSource kAnsiI850{
    "ANSII850", 0x11, 1252,
    "00-40 61,AA,E6,E1,E0,E2,E5,E3,41,C6,C1,C0,C2,C5,C3,E4+65=C4+45 62,42 63,E7,43,C7 "
    "64,F0,44,D0 65,EB,E9,E8,EA,45,CB,C9,C8,CA 66,46 67,47 68,48 69,EF,ED,EC,EE,49,CF,CD,CC,CE "
    "6A,4A 6B,4B 6C,4C 6D,4D 6E,F1,4E,D1 6F,BA,F3,F2,F4,F5,F8,4F,D3,D2,D4,D5,D8,F6+65=D6+45 "
    "70,50 71,51 72,52 73,53,DF+73 74,54,FE+68=DE+48 75,FA,F9,FB,55,DA,D9,DB,FC+65=DC+45 76,56 "
    "77,57 78,58 79,FF,FD,59,DD 7A,5A 5B-60 7B-7F 80-A9 AB-B9 BB-BF D7 F7",
    "E0:C0 E1:C1 E2:C2 E3:C3 E4:C4 E5:C5 E6:C6 E7:C7 E8:C8 E9:C9 EA:CA EB:CB EC:CC ED:CD EE:CE "
    "EF:CF F0:D0 F1:D1 F2:D2 F3:D3 F4:D4 F5:D5 F6:D6 F8:D8 F9:D9 FA:DA FB:DB FC:DC FD:DD FE:DE "
    "FF:59"};

// 'intl850', code page 850: the order of 'ANSII850' above (the Windows form of the same sort
// order), carried over to code page 850. Each byte was mapped to its character and on to the
// code page 1252 byte holding that character (glibc iconv CP850 -> CP1252), and takes that
// byte's place in the ladder; the upper-case map is ANSII850's, mapped back the same way (a
// byte whose upper form code page 850 lacks, such as 'ÿ', goes where ANSII850 sends it).
// Code page 1252 lacks 31 of these bytes: the box-drawing and block characters, 'ı' (D5) and
// '‗' (F2). The only corpus table under this order (country.db) has ASCII keys and no index,
// so nothing shows where they go: they sort after everything else, in byte order, and
// upper-case to themselves. CollationTest checks this table against iconv.
constexpr CollationSource kIntl850{
    "intl850", 0x54, 850,
    "00-40 61,A6,91,A0,85,83,86,C6,41,92,B5,B7,B6,8F,C7,84+65=8E+45 62,42 63,87,43,80 "
    "64,D0,44,D1 65,89,82,8A,88,45,D3,90,D4,D2 66,46 67,47 68,48 69,8B,A1,8D,8C,49,D8,D6,DE,D7 "
    "6A,4A 6B,4B 6C,4C 6D,4D 6E,A4,4E,A5 6F,A7,A2,95,93,E4,9B,4F,E0,E3,E2,E5,9D,94+65=99+45 "
    "70,50 71,51 72,52 73,53,E1+73 74,54,E7+68=E8+48 75,A3,97,96,55,E9,EB,EA,81+65=9A+45 76,56 "
    "77,57 78,58 79,98,EC,59,ED 7A,5A 5B-60 7B-7F 9F FF AD BD 9C CF BE DD F5 F9 B8 AE AA F0 A9 "
    "EE F8 F1 FD FC EF E6 F4 FA F7 FB AF AC AB F3 A8 9E F6 B0-B4 B9-BC BF-C5 C8-CE D5 D9-DC DF "
    "F2 FE",
    "81:9A 82:90 83:B6 84:8E 85:B7 86:8F 87:80 88:D2 89:D3 8A:D4 8B:D8 8C:D7 8D:DE 91:92 93:E2 "
    "94:99 95:E3 96:EA 97:EB 98:59 9B:9D A0:B5 A1:D6 A2:E0 A3:E9 A4:A5 C6:C7 D0:D1 E4:E5 E7:E8 "
    "EC:ED"};

// 'cyrr', code page 866: Firebird's PDOX_CYRL (pd866cyrr.h).
constexpr CollationSource kCyrr{
    "cyrr", 0xC0, 866,
    "00-40 61,41 62,42 63,43 64,44 65,45 66,46 67,47 68,48 69,49 6A,4A 6B,4B 6C,4C 6D,4D "
    "6E,4E 6F,4F 70,50 71,51 72,52 73,53 74,54 75,55 76,56 77,57 78,58 79,59 7A,5A A0,80 "
    "A1,81 A2,82 A3,83 A4,84 A5,85 F1,F0 A6,86 A7,87 A8,88 A9,89 AA,8A AB,8B AC,8C AD,8D "
    "AE,8E AF,8F E0,90 E1,91 E2,92 E3,93 E4,94 E5,95 E6,96 E7,97 E8,98 E9,99 EA,9A EB,9B "
    "EC,9C ED,9D EE,9E EF,9F B7-DF 5B-60 7B-7F B0-B6 F2-FF",
    "A0:80 A1:81 A2:82 A3:83 A4:84 A5:85 A6:86 A7:87 A8:88 A9:89 AA:8A AB:8B AC:8C AD:8D "
    "AE:8E AF:8F E0:90 E1:91 E2:92 E3:93 E4:94 E5:95 E6:96 E7:97 E8:98 E9:99 EA:9A EB:9B "
    "EC:9C ED:9D EE:9E EF:9F F1:F0 F3:F2 F5:F4 F7:F6"};

// 'nordan40', code page 865: Firebird's PDOX_NORDAN4 (pd865nordan40.h). Upper case wins a tie.
constexpr CollationSource kNordan40{
    "nordan40", 0xE6, 865,
    "00-40 41,61,A0,85,83 42,62 43,80,63,87 44,64 45,90,65,89,82,8A,88 46,66 47,67 48,68 "
    "49,69,8B,A1,8D,8C 4A,6A 4B,6B 4C,6C 4D,6D 4E,A5,6E,A4 4F,6F,A2,95,93 50,70 51,71 52,72 "
    "53,73 54,74 55,75,A3,97,96 56,76 57,77 58,78 59,9A,79,98,81 5A,7A 92,8E,91,84 "
    "9D,99,9B,94 8F,86 5B-60 7B-7F 9C 9E 9F A6-FF",
    "81:9A 82:90 83:41 84:8E 85:41 86:8F 87:80 88:45 89:45 8A:45 8B:49 8C:49 8D:49 91:92 "
    "93:4F 94:99 95:4F 96:55 97:55 98:59 A0:41 A1:49 A2:4F A3:55 A4:A5"};

// 'swedfin', code page 437: Firebird's PDOX_SWEDFIN (pd437swedfin.h).
constexpr CollationSource kSwedfin{
    "swedfin", 0xF0, 437,
    "00-40 61,A0,85,83,41 62,42 63,87,43,80 64,44 65,89,82,8A,88,45,90 66,46 67,47 68,48 "
    "69,8B,A1,8D,8C,49 6A,4A 6B,4B 6C,4C 6D,4D 6E,A4,4E,A5 6F,A2,95,93,4F 70,50 71,51 72,52 "
    "73,53 74,54 75,A3,97,96,55 76,56 77,57 78,58 79,98,59 7A,5A 91 92 ED E8 86 8F 84,8E "
    "94,99 81,9A 5B-60 7B-7F 9B-9F A6-E7 E9-EC EE-FF",
    "81:9A 82:90 83:41 84:8E 85:41 86:8F 87:80 88:45 89:45 8A:45 8B:49 8C:49 8D:49 91:92 "
    "93:4F 94:99 95:4F 96:55 97:55 98:59 A0:41 A1:49 A2:4F A3:55 A4:A5"};

// 'ANSINOR4', code page 1252: Firebird's PXW_NORDAN4 (pw1252nor4.h). Upper case wins a tie.
// Its sort-order byte is not known here: found by name only.
constexpr CollationSource kAnsiNor4{
    "ANSINOR4", 0, 1252,
    "00-40 41,C1,C0,C2,C3,61,E1,E0,E2,E3 42,62 43,C7,63,E7 44,D0,64,F0 "
    "45,CB,C9,C8,CA,65,EB,E9,E8,EA 46,66 47,67 48,68 49,CF,CD,CC,CE,69,EF,ED,EC,EE 4A,6A "
    "4B,6B 4C,6C 4D,6D 4E,D1,6E,F1 4F,D3,D2,D4,D5,6F,F3,F2,F4,F5 50,70 51,71 52,72 53,73 "
    "54,74,DE+48=FE+68 55,DA,D9,DB,75,FA,F9,FB 56,76 57,77 58,78 59,DD,DC,79,FF,FD,FC 5A,7A "
    "C6,C4,E6,E4 D8,D6,F8,F6 C5,E5 5B-60 7B-7F 80-BF D7 DF F7",
    "E0:41 E1:41 E2:41 E4:C4 E5:C5 E6:C6 E7:C7 E8:45 E9:45 EA:45 EB:45 EC:49 ED:49 EE:49 "
    "EF:49 F0:D0 F1:D1 F2:4F F3:4F F4:4F F6:D6 F8:D8 F9:55 FA:55 FB:55 FC:DC FD:59 FE:DE "
    "FF:59"};

// 'ANSISWFN', code page 1252: Firebird's PXW_SWEDFIN (pw1252swfn.h). Sort-order byte not known
// here: found by name only.
constexpr CollationSource kAnsiSwfn{
    "ANSISWFN", 0, 1252,
    "00-40 61,E1,E0,E2,E3,41,C1,C0,C2,C3 62,42 63,E7,43,C7 64,F0,44,D0 "
    "65,EB,E9,E8,EA,45,CB,C9,C8,CA 66,46 67,47 68,48 69,EF,ED,EC,EE,49,CF,CD,CC,CE 6A,4A "
    "6B,4B 6C,4C 6D,4D 6E,F1,4E,D1 6F,F3,F2,F4,F5,4F,D3,D2,D4,D5 70,50 71,51 72,52 73,53 "
    "74,54,FE+68=DE+48 75,FA,F9,FB,55,DA,D9,DB 76,56 77,57 78,58 79,FD,FF,59,DD 7A,5A E6 C6 "
    "F8 D8 E5 C5 E4,C4 F6,D6 FC,DC 5B-60 7B-7F 80-BF D7 DF F7",
    "E0:41 E1:41 E2:41 E4:C4 E5:C5 E6:C6 E7:C7 E8:45 E9:C9 EA:45 EB:45 EC:49 ED:49 EE:49 "
    "EF:49 F0:D0 F1:D1 F2:4F F3:4F F4:4F F6:D6 F8:D8 F9:55 FA:55 FB:55 FC:DC FD:DD FE:DE "
    "FF:59"};

// 'ANSISPAN', code page 1252: Firebird's PXW_SPAN (pw1252span.h): "ch" sorts between c and d,
// "ll" between l and m, ñ after n. Sort-order byte not known here: found by name only.
constexpr CollationSource kAnsiSpan{
    "ANSISPAN", 0, 1252,
    "00-20 21,A1 22-3E 3F,BF 40 61,E1,AA,E0,E2,E3,E4,E5,41,C1,C0,C2,C3,C4,C5,E6+65=C6+45 "
    "62,42 63,E7,43,C7 6368,4368,4348 64,F0,44,D0 65,E9,E8,EA,EB,45,CB,C9,C8,CA 66,46 67,47 "
    "68,48 69,ED,EC,EE,EF,49,CF,CD,CC,CE 6A,4A 6B,4B 6C,4C 6C6C,4C6C,4C4C 6D,4D 6E,4E F1,D1 "
    "6F,BA,F3,F2,F4,F6,F5,F8,4F,D3,D2,D4,D6,D5,D8 70,50 71,51 72,52 73,53,DF+73 74,FE,54,DE "
    "75,FA,F9,FB,FC,55,DA,D9,DB,DC 76,56 77,57 78,58 79,FD,FF,59,DD 7A,5A 5B-60 7B-7F 80-A0 "
    "A2-A9 AB-B9 BB-BE D7 F7",
    "E0:41 E1:41 E2:41 E4:C4 E5:C5 E6:C6 E7:C7 E8:45 E9:45 EA:45 EB:45 EC:49 ED:49 EE:49 "
    "EF:49 F0:D0 F1:D1 F2:4F F3:4F F4:4F F6:D6 F8:D8 F9:55 FA:55 FB:55 FC:DC FD:DD FE:DE "
    "FF:59"};

constexpr std::array kSources{kIntl437,  kAnsiIntl, kAnsiI850, kIntl850,  kCyrr,
                              kNordan40, kSwedfin,  kAnsiNor4, kAnsiSwfn, kAnsiSpan};

} // namespace

std::span<const CollationSource> CollationSources() {
    return kSources;
}

} // namespace paradox
