// SPDX-License-Identifier: MIT
// The tables of the font in directory order (ascending tag), which is also
// the order they are built in: glyf comes before loca and maxp, which read
// what glyf leaves behind.
#include "core/tablelist.h"

const tabledef kTables[13] = {
    {tag("EBDT"), "EBDT", build_ebdt},
    {tag("EBLC"), "EBLC", build_eblc},
    {tag("OS/2"), "OS/2", build_os2},
    {tag("cmap"), "cmap", build_cmap},
    {tag("gasp"), "gasp", build_gasp},
    {tag("glyf"), "glyf", build_glyf},
    {tag("head"), "head", build_head},
    {tag("hhea"), "hhea", build_hhea},
    {tag("hmtx"), "hmtx", build_hmtx},
    {tag("loca"), "loca", build_loca},
    {tag("maxp"), "maxp", build_maxp},
    {tag("name"), "name", build_name},
    {tag("post"), "post", build_post},
};
