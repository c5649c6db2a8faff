// The RTF reader. One loop over the bytes: braces push and pop group states on an explicit
// stack, control words go through one table to their handlers, text bytes are collected and
// decoded in the code page of the font in force when something else comes along.
//
// What the groups carry (GroupState): the destination (where text goes), the character and
// paragraph formats, \ucN. What lives beyond groups (RtfReader members): the font, colour and
// style tables, list definitions, row and cell definitions per table level, the open
// destinations that act when their group closes (Frame), and the text sinks (body, header,
// footer, note, text box) that collect paragraphs and tables.
#include "rtf_reader.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <array>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <unordered_map>
#include <utility>

#include "code_page.h"
#include "eq_field.h"
#include "metafile_clean.h"
#include "shape_outline.h"

namespace docengine {
namespace {

constexpr std::size_t kMaxWordLetters = 32;      // longer control words are ignored whole
constexpr int kMaxParam = 1 << 30;               // numeric parameters are clamped to +-this
constexpr int kMaxLength = 1 << 24;              // twips values are clamped to +-this
constexpr std::size_t kMaxFrameText = 1 << 16;   // text kept for a font name, field code, ...
constexpr std::size_t kMaxStyleTokens = 64;      // formatting words kept per style
constexpr std::size_t kMaxTabs = 64;
constexpr std::size_t kMaxCellDefs = 256;
constexpr int kMaxColumns = 20;                  // columns of a section
constexpr int kMaxUc = 16;                       // \ucN: fallback bytes skipped after \uN
constexpr int kMaxFontHalfPoints = 3276;         // \fsN, as word processors allow
constexpr std::size_t kMaxFormItems = 64;        // entries kept of a drop-down form field
constexpr int kMaxLineNumber = 32767;            // \linemodN \linestartsN, as word processors allow
constexpr std::size_t kMaxDrawingPoints = 128;   // points kept of a drawn polyline or polygon
constexpr int kMaxDrawingGroups = 8;             // nested drawing groups that offset their members
constexpr int kArcSteps = 8;                     // straight lines an arc is drawn with

int Length(int v) { return std::clamp(v, -kMaxLength, kMaxLength); }

// ---------------------------------------------------------------- control words

enum class W : std::uint16_t {
    // destinations
    fonttbl, falt, colortbl, stylesheet, info, title, field, fldinst, fldrslt, listtable, list,
    listlevel, leveltext, levelnumbers, listoverridetable, listoverride, listtext, pntext, pn,
    pntxta, pntxtb, pict, shppict, nonshppict, object, result, shp, shpgrp, shpinst, shprslt, shptxt,
    sn, sv, header, headerl, headerr, headerf, footer, footerl, footerr, footerf, footnote,
    nesttableprops, nonesttables, bkmkstart, drawobj, dptxbxtext, formfield, ffl, skipdest,
    // form fields
    fftype, ffres, ffdefres, ffhps, ffsize,
    // document
    rtf, ansi, mac, pc, pca, ansicpg, deff, deflang, nocolbal, paperw, paperh, margl, margr, margt, margb, marglsxn, margrsxn, margtsxn, margbsxn, pgwsxn, pghsxn, facingp,
    margmirror, gutter, rtlgutter, gutterprl,
    deftab, enddoc, ftnbj, ftntj, ftnstart, aftnstart, ftnnar, ftnnalc, ftnnauc, ftnnrlc, ftnnruc, ftnnchi,
    aftnnar, aftnnalc, aftnnauc, aftnnrlc, aftnnruc, aftnnchi,
    // fonts, colours, styles, lists
    f, fnil, froman, fswiss, fmodern, fscript, fdecor, ftech, fbidi, fcharset, fprq, cpg,
    red, green, blue, s, cs, ds, ts, sbasedon, listid, levelnfc, levelnfcn, levelstartat, levelfollow, leveljc, leveljcn, pnqc, pnqr, pnql, levellegal, levelnorestart, ls,
    lfolevel, listoverridestartat, listoverrideformat,
    ilvl, pnlvl, pnlvlblt, pnlvlbody, pnlvlcont, pnstart,
    pndec, pnucrm, pnlcrm, pnucltr, pnlcltr, pnord, pnordt, pncard, pnaiu, pnaiud, pniroha, pnirohad,
    pndbnum, pndbnumd, pndbnuml, pndbnumt, pndbnumk, pncnum, pndecd, pnganada, pnchosung, pngbnum,
    pngbnumd, pngbnuml, pngbnumk, pnzodiac, pnzodiacd, pnzodiacl,
    // character formats
    plain, lang, b, i, ul, ulc, ulnone, uld, uldb, uldash, ulth, ulw, ulwave, strike, striked, caps, scaps,
    v, outl, shad, sub, super, nosupersub, up, dn, fs, cf, highlight, chcbpat, expnd, expndtw,
    charscalex, u, uc, revised, deleted, revauth, revauthdel, rtlch, ltrch, loch, hich, dbch, af, afs, ab, ai,
    // paragraph formats
    pard, ql, qc, qr, qj, qd, li, ri, fi, sb, sa, sl, slmult, tx, tb, tqr, tqc, tqdec, tldot,
    tlhyph, tlul, tlth, tleq, keep, keepn, pagebb, widctlpar, nowidctlpar, contextualspace, sbauto, saauto, htmautsp, intbl, itap,
    posx, posxc, posxr, posxl, posxi, posxo, posy, posyt, posyc, posyb, posyil, absw, absh,
    phcol, phmrg, phpg, pvpara, pvmrg, pvpg, dxfrtext, dfrmtxtx, dfrmtxty, nowrap, wrapframe,
    shpleft, shptop, shpright, shpbottom, shpbxpage, shpbxmargin, shpbxcolumn, shpbxignore,
    shpbypage, shpbymargin, shpbypara, shpbyignore, shpwr, dobxpage, dobxmargin, dobxcolumn,
    dobypage, dobymargin, dobypara, dodhgt, dpx, dpy, dpxsize, dpysize, dptxbx, dptxbxmar, dprect, dproundr,
    dpellipse, dpline, dppolyline, dppolygon, dparc, dparcflipx, dparcflipy, dpcallout, dpgroup, dpendgroup,
    dpptx, dppty, dplinesolid, dplinehollow, dplinew, dplinecor, dplinecog, dplinecob, dpastart, dpaend,
    dpfillpat, dpfillbgcr, dpfillbgcg, dpfillbgcb,
    outlinelevel, brdrt, brdrb, brdrl, brdrr, box, brdrbtw, brdrnone, brdrnil, brdrs, brdrth, brdrdb, brdrthtn,
    brdrdot, brdrdash, brdrhair, brdrw, brdrcf, brsp, cbpat, cfpat, shading, noline,
    // sections
    sect, sectd, sbknone, sbkpage, sbkcol, sbkeven, sbkodd, cols, colsx, colno, colw, colsr, linebetcol, titlpg,
    headery, footery, pgnstarts, pgnrestart, pgndec, pgnucrm, pgnlcrm, pgnucltr, pgnlcltr, chpgn, chdate, chdpl, chdpa, chtime,
    pgbrdrt, pgbrdrl, pgbrdrb, pgbrdrr, pgbrdropt, linemod, linex, linestarts, linerestart, lineppage, linecont,
    // breaks and characters
    par, line, tab, page, column, emdash, endash, bullet, lquote, rquote, ldblquote, rdblquote,
    emspace, enspace, qmspace, zwj, zwnj, chftn, ftnalt, fldlock, bin,
    // tables
    trowd, cellx, cell, row, nestcell, nestrow, trleft, trgaph, trrh, trhdr, trkeep, rtlrow, ltrrow, rtlpar, ltrpar, trql, trqc,
    trqr, clbrdrt, clbrdrl, clbrdrb, clbrdrr, trbrdrt, trbrdrl, trbrdrb, trbrdrr, trbrdrh,
    trbrdrv, clcbpat, clcfpat, clshdng, clvertalt, clvertalc, clvertalb, cltxlrtb, cltxbtlr, cltxtbrl, cltxlrtbv,
    cltxtbrlv, clmgf, clmrg, clvmgf,
    clvmrg, trpaddl, trpaddr, trpaddt, trpaddb, trpaddfl, trpaddfr, trpaddft, trpaddfb, clpadl,
    clpadr, clpadt, clpadb, clpadfl, clpadfr, clpadft, clpadfb,
    // pictures
    pngblip, jpegblip, emfblip, wmetafile, dibitmap, wbitmap, macpict, pmmetafile, picw, pich,
    picwgoal, pichgoal, picscalex, picscaley, piccropl, piccropr, piccropt, piccropb,
    wbmbitspixel, wbmplanes, wbmwidthbytes,
};

struct WordEntry {
    std::string_view name;
    W word;
};

// Destinations whose text is never shown; without \* too, as older writers leave it off.
constexpr std::string_view kSkippedDestinations[] = {
    "author", "operator", "subject", "keywords", "comment", "doccomm", "company", "manager",
    "category", "hlinkbase", "creatim", "revtim", "printim", "buptim", "xe", "tc", "txe", "rxe",
    "bkmkend", "pgdsctbl", "revtbl", "rsidtbl", "generator", "latentstyles",
    "datastore", "themedata", "colorschememapping", "filetbl", "listpicture", "fchars", "lchars",
    "template", "objdata", "objclass", "objname", "atnid", "atnauthor", "annotation",
    "atrfstart", "atrfend", "ftnsep", "ftnsepc", "aftnsep", "aftnsepc", "fldtype", "datafield",
    "formfield", "userprops", "docvar", "pnseclvl", "panose", "xmlnstbl", "mmathPr", "background",
    "blipuid", "picprop", "listname", "listlevels", "wgrffmtfilter", "defchp", "defpap",
    "private", "protusertbl", "passwordhash", "ud", "upr", "nextfile", "macpict", "keycode",
    "objalias", "objsect", "fontemb", "fontfile", "file", "expandedcolortbl", "ftncn",
    "aftncn",
};

constexpr WordEntry kWords[] = {
    {"fonttbl", W::fonttbl}, {"falt", W::falt}, {"colortbl", W::colortbl},
    {"stylesheet", W::stylesheet}, {"info", W::info}, {"title", W::title}, {"field", W::field},
    {"fldinst", W::fldinst}, {"fldrslt", W::fldrslt}, {"listtable", W::listtable}, {"bkmkstart", W::bkmkstart},
    {"list", W::list}, {"listlevel", W::listlevel}, {"leveltext", W::leveltext},
    {"levelnumbers", W::levelnumbers}, {"listoverridetable", W::listoverridetable},
    {"listoverride", W::listoverride}, {"listtext", W::listtext}, {"pntext", W::pntext},
    {"pn", W::pn}, {"pntxta", W::pntxta}, {"pntxtb", W::pntxtb}, {"pict", W::pict},
    {"shppict", W::shppict}, {"nonshppict", W::nonshppict}, {"object", W::object},
    {"result", W::result}, {"shp", W::shp}, {"shpgrp", W::shpgrp}, {"shpinst", W::shpinst}, {"shprslt", W::shprslt},
    {"shptxt", W::shptxt}, {"sn", W::sn}, {"sv", W::sv}, {"header", W::header},
    {"do", W::drawobj}, {"dptxbxtext", W::dptxbxtext},
    {"headerl", W::headerl}, {"headerr", W::headerr}, {"headerf", W::headerf},
    {"footer", W::footer}, {"footerl", W::footerl}, {"footerr", W::footerr},
    {"footerf", W::footerf}, {"footnote", W::footnote}, {"nesttableprops", W::nesttableprops},
    {"nonesttables", W::nonesttables}, {"formfield", W::formfield}, {"ffl", W::ffl},
    {"fftype", W::fftype}, {"ffres", W::ffres}, {"ffdefres", W::ffdefres}, {"ffhps", W::ffhps}, {"ffsize", W::ffsize},
    {"rtf", W::rtf}, {"ansi", W::ansi}, {"mac", W::mac}, {"pc", W::pc}, {"pca", W::pca},
    {"ansicpg", W::ansicpg}, {"deff", W::deff}, {"deflang", W::deflang}, {"paperw", W::paperw}, {"paperh", W::paperh},
    {"margl", W::margl}, {"margr", W::margr}, {"margt", W::margt}, {"margb", W::margb},
    {"marglsxn", W::marglsxn}, {"margrsxn", W::margrsxn}, {"margtsxn", W::margtsxn}, {"margbsxn", W::margbsxn},
    {"pgwsxn", W::pgwsxn}, {"pghsxn", W::pghsxn},
    {"facingp", W::facingp}, {"margmirror", W::margmirror}, {"gutter", W::gutter}, {"rtlgutter", W::rtlgutter},
    {"gutterprl", W::gutterprl}, {"nocolbal", W::nocolbal}, {"deftab", W::deftab}, {"enddoc", W::enddoc}, {"ftnbj", W::ftnbj},
    {"ftntj", W::ftntj}, {"ftnstart", W::ftnstart}, {"aftnstart", W::aftnstart}, {"ftnnar", W::ftnnar},
    {"ftnnalc", W::ftnnalc}, {"ftnnauc", W::ftnnauc}, {"ftnnrlc", W::ftnnrlc}, {"ftnnruc", W::ftnnruc},
    {"ftnnchi", W::ftnnchi}, {"aftnnar", W::aftnnar}, {"aftnnalc", W::aftnnalc}, {"aftnnauc", W::aftnnauc},
    {"aftnnrlc", W::aftnnrlc}, {"aftnnruc", W::aftnnruc}, {"aftnnchi", W::aftnnchi},
    {"f", W::f}, {"fnil", W::fnil}, {"froman", W::froman}, {"fswiss", W::fswiss},
    {"fmodern", W::fmodern}, {"fscript", W::fscript}, {"fdecor", W::fdecor}, {"ftech", W::ftech},
    {"fbidi", W::fbidi}, {"fcharset", W::fcharset}, {"fprq", W::fprq}, {"cpg", W::cpg},
    {"red", W::red}, {"green", W::green}, {"blue", W::blue}, {"s", W::s}, {"cs", W::cs},
    {"ds", W::ds}, {"ts", W::ts}, {"sbasedon", W::sbasedon}, {"listid", W::listid},
    {"levelnfc", W::levelnfc}, {"levelnfcn", W::levelnfcn}, {"levelstartat", W::levelstartat},
    {"lfolevel", W::lfolevel}, {"listoverridestartat", W::listoverridestartat},
    {"listoverrideformat", W::listoverrideformat},
    {"levelfollow", W::levelfollow}, {"leveljc", W::leveljc}, {"leveljcn", W::leveljcn},
    {"pnqc", W::pnqc}, {"pnqr", W::pnqr}, {"pnql", W::pnql}, {"levellegal", W::levellegal}, {"levelnorestart", W::levelnorestart},
    {"ls", W::ls}, {"ilvl", W::ilvl}, {"pnlvl", W::pnlvl}, {"pnlvlblt", W::pnlvlblt},
    {"pnlvlbody", W::pnlvlbody}, {"pnlvlcont", W::pnlvlcont}, {"pndec", W::pndec},
    {"pnucrm", W::pnucrm}, {"pnlcrm", W::pnlcrm}, {"pnucltr", W::pnucltr},
    {"pnlcltr", W::pnlcltr}, {"pnstart", W::pnstart}, {"pnord", W::pnord}, {"pnordt", W::pnordt},
    {"pncard", W::pncard}, {"pnaiu", W::pnaiu}, {"pnaiud", W::pnaiud}, {"pniroha", W::pniroha},
    {"pnirohad", W::pnirohad}, {"pndbnum", W::pndbnum}, {"pndbnumd", W::pndbnumd},
    {"pndbnuml", W::pndbnuml}, {"pndbnumt", W::pndbnumt}, {"pndbnumk", W::pndbnumk},
    {"pncnum", W::pncnum}, {"pndecd", W::pndecd}, {"pnganada", W::pnganada},
    {"pnchosung", W::pnchosung}, {"pngbnum", W::pngbnum}, {"pngbnumd", W::pngbnumd},
    {"pngbnuml", W::pngbnuml}, {"pngbnumk", W::pngbnumk}, {"pnzodiac", W::pnzodiac},
    {"pnzodiacd", W::pnzodiacd}, {"pnzodiacl", W::pnzodiacl},
    {"plain", W::plain}, {"lang", W::lang}, {"b", W::b}, {"i", W::i}, {"ul", W::ul}, {"ulc", W::ulc}, {"ulnone", W::ulnone},
    {"uld", W::uld}, {"uldb", W::uldb}, {"uldash", W::uldash}, {"uldashd", W::uldash},
    {"uldashdd", W::uldash}, {"ulldash", W::uldash}, {"ulth", W::ulth}, {"ulthd", W::ulth},
    {"ulthdash", W::ulth}, {"ulw", W::ulw}, {"ulwave", W::ulwave}, {"ulhwave", W::ulwave},
    {"ululdbwave", W::ulwave}, {"strike", W::strike}, {"striked", W::striked},
    {"caps", W::caps}, {"scaps", W::scaps}, {"v", W::v}, {"outl", W::outl}, {"shad", W::shad},
    {"sub", W::sub}, {"super", W::super}, {"nosupersub", W::nosupersub}, {"up", W::up},
    {"dn", W::dn}, {"fs", W::fs}, {"cf", W::cf}, {"highlight", W::highlight},
    {"chcbpat", W::chcbpat}, {"cb", W::chcbpat}, {"expnd", W::expnd}, {"expndtw", W::expndtw},
    {"charscalex", W::charscalex}, {"rtlch", W::rtlch}, {"ltrch", W::ltrch},
    {"loch", W::loch}, {"hich", W::hich}, {"dbch", W::dbch}, {"af", W::af}, {"afs", W::afs}, {"ab", W::ab},
    {"ai", W::ai}, {"u", W::u}, {"uc", W::uc}, {"revised", W::revised}, {"deleted", W::deleted},
    {"revauth", W::revauth}, {"revauthdel", W::revauthdel},
    {"pard", W::pard}, {"ql", W::ql}, {"qc", W::qc}, {"qr", W::qr}, {"qj", W::qj},
    {"qd", W::qd}, {"li", W::li}, {"lin", W::li}, {"ri", W::ri}, {"rin", W::ri}, {"fi", W::fi},
    {"sb", W::sb}, {"sa", W::sa}, {"sl", W::sl}, {"slmult", W::slmult}, {"tx", W::tx},
    {"tb", W::tb}, {"tqr", W::tqr}, {"tqc", W::tqc}, {"tqdec", W::tqdec}, {"tldot", W::tldot},
    {"tlmdot", W::tldot}, {"tlhyph", W::tlhyph}, {"tlul", W::tlul}, {"tlth", W::tlth},
    {"tleq", W::tleq}, {"keep", W::keep}, {"keepn", W::keepn}, {"pagebb", W::pagebb},
    {"posx", W::posx}, {"posxc", W::posxc}, {"posxr", W::posxr}, {"posxl", W::posxl},
    {"posxi", W::posxi}, {"posxo", W::posxo}, {"posy", W::posy}, {"posyt", W::posyt},
    {"posyc", W::posyc}, {"posyb", W::posyb}, {"posyil", W::posyil}, {"posyin", W::posyil},
    {"posyout", W::posyil}, {"absw", W::absw}, {"absh", W::absh}, {"phcol", W::phcol},
    {"phmrg", W::phmrg}, {"phpg", W::phpg}, {"pvpara", W::pvpara}, {"pvmrg", W::pvmrg},
    {"pvpg", W::pvpg}, {"dxfrtext", W::dxfrtext}, {"dfrmtxtx", W::dfrmtxtx},
    {"dfrmtxty", W::dfrmtxty}, {"nowrap", W::nowrap}, {"wraparound", W::wrapframe},
    {"wraptight", W::wrapframe}, {"wrapthrough", W::wrapframe},
    {"shpleft", W::shpleft}, {"shptop", W::shptop}, {"shpright", W::shpright},
    {"shpbottom", W::shpbottom}, {"shpbxpage", W::shpbxpage}, {"shpbxmargin", W::shpbxmargin},
    {"shpbxcolumn", W::shpbxcolumn}, {"shpbxignore", W::shpbxignore}, {"shpbypage", W::shpbypage},
    {"shpbymargin", W::shpbymargin}, {"shpbypara", W::shpbypara}, {"shpbyignore", W::shpbyignore},
    {"shpwr", W::shpwr},
    {"dobxpage", W::dobxpage}, {"dobxmargin", W::dobxmargin}, {"dobxcolumn", W::dobxcolumn},
    {"dobypage", W::dobypage}, {"dobymargin", W::dobymargin}, {"dobypara", W::dobypara},
    {"dodhgt", W::dodhgt}, {"dpx", W::dpx}, {"dpy", W::dpy}, {"dpxsize", W::dpxsize}, {"dpysize", W::dpysize},
    {"dptxbx", W::dptxbx}, {"dptxbxmar", W::dptxbxmar}, {"dprect", W::dprect}, {"dproundr", W::dproundr},
    {"dpellipse", W::dpellipse}, {"dpline", W::dpline}, {"dppolyline", W::dppolyline},
    {"dppolygon", W::dppolygon}, {"dparc", W::dparc}, {"dparcflipx", W::dparcflipx},
    {"dparcflipy", W::dparcflipy}, {"dpcallout", W::dpcallout}, {"dpgroup", W::dpgroup},
    {"dpendgroup", W::dpendgroup}, {"dpptx", W::dpptx}, {"dppty", W::dppty},
    {"dplinesolid", W::dplinesolid}, {"dplinedash", W::dplinesolid}, {"dplinedot", W::dplinesolid},
    {"dplinedado", W::dplinesolid}, {"dplinedadodo", W::dplinesolid}, {"dplinehollow", W::dplinehollow},
    {"dplinew", W::dplinew}, {"dplinecor", W::dplinecor}, {"dplinecog", W::dplinecog},
    {"dplinecob", W::dplinecob}, {"dpastartsol", W::dpastart}, {"dpastarthol", W::dpastart},
    {"dpaendsol", W::dpaend}, {"dpaendhol", W::dpaend}, {"dpfillpat", W::dpfillpat},
    {"dpfillbgcr", W::dpfillbgcr}, {"dpfillbgcg", W::dpfillbgcg}, {"dpfillbgcb", W::dpfillbgcb},
    {"widctlpar", W::widctlpar}, {"nowidctlpar", W::nowidctlpar}, {"contextualspace", W::contextualspace},
    {"sbauto", W::sbauto}, {"saauto", W::saauto}, {"htmautsp", W::htmautsp},
    {"intbl", W::intbl},
    {"itap", W::itap}, {"outlinelevel", W::outlinelevel}, {"brdrt", W::brdrt},
    {"brdrb", W::brdrb}, {"brdrl", W::brdrl}, {"brdrr", W::brdrr}, {"box", W::box},
    {"brdrbtw", W::brdrbtw}, {"brdrbar", W::brdrbtw}, {"chbrdr", W::brdrbtw},
    {"brdrnone", W::brdrnone}, {"brdrnil", W::brdrnil}, {"brdrtbl", W::brdrnil},
    {"brdrs", W::brdrs}, {"brdrsh", W::brdrs}, {"brdrengrave", W::brdrs},
    {"brdremboss", W::brdrs}, {"brdroutset", W::brdrs}, {"brdrinset", W::brdrs},
    {"brdrth", W::brdrth}, {"brdrdb", W::brdrdb}, {"brdrtriple", W::brdrdb},
    {"brdrtnthsg", W::brdrthtn}, {"brdrthtnsg", W::brdrthtn}, {"brdrtnthtnsg", W::brdrthtn},
    {"brdrtnthmg", W::brdrthtn}, {"brdrthtnmg", W::brdrthtn}, {"brdrtnthtnmg", W::brdrthtn},
    {"brdrtnthlg", W::brdrthtn}, {"brdrthtnlg", W::brdrthtn}, {"brdrtnthtnlg", W::brdrthtn},
    {"brdrwavy", W::brdrs}, {"brdrwavydb", W::brdrdb}, {"brdrdot", W::brdrdot},
    {"brdrdash", W::brdrdash}, {"brdrdashsm", W::brdrdash}, {"brdrdashd", W::brdrdash},
    {"brdrdashdd", W::brdrdash}, {"brdrdashdotstr", W::brdrdash}, {"brdrhair", W::brdrhair},
    {"brdrw", W::brdrw}, {"brdrcf", W::brdrcf}, {"brsp", W::brsp}, {"cbpat", W::cbpat},
    {"cfpat", W::cfpat}, {"shading", W::shading}, {"noline", W::noline},
    {"sect", W::sect}, {"sectd", W::sectd}, {"sbknone", W::sbknone}, {"sbkpage", W::sbkpage},
    {"sbkcol", W::sbkcol}, {"sbkeven", W::sbkeven}, {"sbkodd", W::sbkodd}, {"cols", W::cols},
    {"colsx", W::colsx}, {"colno", W::colno}, {"colw", W::colw}, {"colsr", W::colsr},
    {"linebetcol", W::linebetcol}, {"titlpg", W::titlpg}, {"titlepg", W::titlpg},
    {"headery", W::headery}, {"footery", W::footery}, {"pgnstarts", W::pgnstarts},
    {"pgnrestart", W::pgnrestart}, {"pgndec", W::pgndec}, {"pgnucrm", W::pgnucrm},
    {"pgnlcrm", W::pgnlcrm}, {"pgnucltr", W::pgnucltr}, {"pgnlcltr", W::pgnlcltr}, {"chpgn", W::chpgn},
    {"chdate", W::chdate}, {"chdpl", W::chdpl}, {"chdpa", W::chdpa}, {"chtime", W::chtime},
    {"pgbrdrt", W::pgbrdrt}, {"pgbrdrl", W::pgbrdrl}, {"pgbrdrb", W::pgbrdrb}, {"pgbrdrr", W::pgbrdrr},
    {"pgbrdropt", W::pgbrdropt}, {"linemod", W::linemod}, {"linex", W::linex}, {"linestarts", W::linestarts},
    {"linerestart", W::linerestart}, {"lineppage", W::lineppage}, {"linecont", W::linecont},
    {"par", W::par}, {"line", W::line}, {"lbr", W::line}, {"tab", W::tab}, {"page", W::page},
    {"column", W::column}, {"emdash", W::emdash}, {"endash", W::endash}, {"bullet", W::bullet},
    {"lquote", W::lquote}, {"rquote", W::rquote}, {"ldblquote", W::ldblquote},
    {"rdblquote", W::rdblquote}, {"emspace", W::emspace}, {"enspace", W::enspace},
    {"qmspace", W::qmspace}, {"zwj", W::zwj}, {"zwnj", W::zwnj}, {"chftn", W::chftn}, {"fldlock", W::fldlock},
    {"ftnalt", W::ftnalt}, {"bin", W::bin},
    {"trowd", W::trowd}, {"cellx", W::cellx}, {"cell", W::cell}, {"row", W::row},
    {"nestcell", W::nestcell}, {"nestrow", W::nestrow}, {"trleft", W::trleft},
    {"trgaph", W::trgaph}, {"trrh", W::trrh}, {"trhdr", W::trhdr}, {"trkeep", W::trkeep},
    {"rtlrow", W::rtlrow}, {"ltrrow", W::ltrrow}, {"rtlpar", W::rtlpar}, {"ltrpar", W::ltrpar},
    {"trql", W::trql}, {"trqc", W::trqc}, {"trqr", W::trqr}, {"clbrdrt", W::clbrdrt},
    {"clbrdrl", W::clbrdrl}, {"clbrdrb", W::clbrdrb}, {"clbrdrr", W::clbrdrr},
    {"trbrdrt", W::trbrdrt}, {"trbrdrl", W::trbrdrl}, {"trbrdrb", W::trbrdrb},
    {"trbrdrr", W::trbrdrr}, {"trbrdrh", W::trbrdrh}, {"trbrdrv", W::trbrdrv},
    {"clcbpat", W::clcbpat}, {"clcfpat", W::clcfpat}, {"clshdng", W::clshdng},
    {"clvertalt", W::clvertalt}, {"clvertalc", W::clvertalc}, {"clvertalb", W::clvertalb},
    {"cltxlrtb", W::cltxlrtb}, {"cltxbtlr", W::cltxbtlr}, {"cltxtbrl", W::cltxtbrl}, {"cltxlrtbv", W::cltxlrtbv},
    {"cltxtbrlv", W::cltxtbrlv},
    {"clmgf", W::clmgf}, {"clmrg", W::clmrg}, {"clvmgf", W::clvmgf}, {"clvmrg", W::clvmrg},
    {"trpaddl", W::trpaddl}, {"trpaddr", W::trpaddr}, {"trpaddt", W::trpaddt},
    {"trpaddb", W::trpaddb}, {"trpaddfl", W::trpaddfl}, {"trpaddfr", W::trpaddfr},
    {"trpaddft", W::trpaddft}, {"trpaddfb", W::trpaddfb}, {"clpadl", W::clpadl}, {"clpadr", W::clpadr},
    {"clpadt", W::clpadt}, {"clpadb", W::clpadb}, {"clpadfl", W::clpadfl}, {"clpadfr", W::clpadfr},
    {"clpadft", W::clpadft}, {"clpadfb", W::clpadfb},
    {"pngblip", W::pngblip}, {"jpegblip", W::jpegblip}, {"emfblip", W::emfblip},
    {"wmetafile", W::wmetafile}, {"dibitmap", W::dibitmap}, {"wbitmap", W::wbitmap},
    {"pmmetafile", W::pmmetafile}, {"picw", W::picw}, {"pich", W::pich},
    {"picwgoal", W::picwgoal}, {"pichgoal", W::pichgoal}, {"picscalex", W::picscalex},
    {"picscaley", W::picscaley}, {"piccropl", W::piccropl}, {"piccropr", W::piccropr},
    {"piccropt", W::piccropt}, {"piccropb", W::piccropb}, {"wbmbitspixel", W::wbmbitspixel},
    {"wbmplanes", W::wbmplanes}, {"wbmwidthbytes", W::wbmwidthbytes},
};

const std::unordered_map<std::string_view, W>& WordTable() {
    static const auto* table = [] {
        auto* t = new std::unordered_map<std::string_view, W>();
        for (const auto& e : kWords) t->emplace(e.name, e.word);
        for (auto name : kSkippedDestinations) t->emplace(name, W::skipdest);
        return t;
    }();
    return *table;
}

// Destinations handled here; "\*\word" with any other word skips its group.
bool IsKnownDestination(W w) {
    switch (w) {
        case W::fonttbl: case W::falt: case W::colortbl: case W::stylesheet: case W::info:
        case W::title: case W::field: case W::fldinst: case W::fldrslt: case W::listtable:
        case W::list: case W::listlevel: case W::leveltext: case W::levelnumbers:
        case W::listoverridetable: case W::listoverride: case W::listtext: case W::pntext:
        case W::pn: case W::pntxta: case W::pntxtb: case W::pict: case W::shppict:
        case W::nonshppict: case W::object: case W::result: case W::shp: case W::shpgrp: case W::shpinst:
        case W::shprslt: case W::shptxt: case W::sn: case W::sv: case W::header:
        case W::headerl: case W::headerr: case W::headerf: case W::footer: case W::footerl:
        case W::footerr: case W::footerf: case W::footnote: case W::nesttableprops:
        case W::nonesttables: case W::bkmkstart: case W::drawobj: case W::dptxbxtext:
        case W::formfield: case W::ffl:
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------- state

enum class Dest : std::uint8_t {
    Text,        // shown: paragraphs of the current sink
    Skip,        // read for structure only
    FontTable, FontAlt, ColorTable, StyleSheet, Info, Title, FieldInst, ListText, ListTable,
    LevelText, ListOverrideTable,
    ListOverrideLevel,  // a list override's level format (\lfolevel\listoverrideformat{\listlevel ...})
    Picture, ShapeName, ShapeValue, ShapeText, Pn, PnText, Bookmark,
    Drawing,     // a Word 95 drawing object in the text: only its text box is read
    MathProps,   // an equation object's properties: only its characters (\mchr ...) are read
    MathChar,    // one of those characters
    FormField,   // a form field's settings (\*\formfield in a field's code)
    FormItem,    // one entry of a drop-down form field
};

bool CollectsText(Dest d) {
    return d == Dest::FontTable || d == Dest::FontAlt || d == Dest::StyleSheet ||
           d == Dest::Title || d == Dest::FieldInst || d == Dest::ListText ||
           d == Dest::LevelText || d == Dest::ShapeName || d == Dest::ShapeText || d == Dest::PnText || d == Dest::Bookmark ||
           d == Dest::MathChar || d == Dest::FormItem;
}

enum class BorderTarget : std::uint8_t {
    None, ParaTop, ParaLeft, ParaBottom, ParaRight, ParaBox,
    CellTop, CellLeft, CellBottom, CellRight, RowTop, RowLeft, RowBottom, RowRight, RowInsideH, RowInsideV,
    PageTop, PageLeft, PageBottom, PageRight,
};

struct ParaState {
    ParaFormat format;
    int itap = 0;
    int style = 0;
    int ls = -1, ilvl = 0;  // \lsN: the list override; -1: none given
    int shadingColor = -1, patternColor = -1, shading = 0;  // \cbpat \cfpat \shading
    TabStop pendingTab;
    // Word 6 numbering (\pn): used when the paragraph has no \pntext of its own.
    bool pn = false, pnBullet = false;
    bool pnCont = false;  // \pnlvlcont: the list goes on through this paragraph, which shows no number
    Numbering pnType = Numbering::Decimal;
    int pnStart = 1, pnLevel = 0;
    std::u16string pnBefore, pnAfter;  // \pntxtb \pntxta: the text around the number
    bool pnTextGiven = false;
    ParaFormat::LabelAlign pnAlign = ParaFormat::LabelAlign::Left;  // \pnql \pnqc \pnqr
    // The formatting words given since \pard, so that a \sN that follows them (\pard\sb259\s2)
    // lays the style under them instead of wiping them out. Fixed size: copied with every group.
    static constexpr int kMaxDirect = 24;
    std::array<std::pair<W, int>, kMaxDirect> direct{};
    int directCount = 0;
};

// The formatting of complex-script text (Hebrew, Arabic, Thai, Indic): \af \afs \ab \ai, which
// word processors apply to the letters of those scripts and to all text of a run marked
// right-to-left (\rtlch), in place of \f \fs \b \i. Unset values leave the run's own.
struct ComplexScript {
    int font = -1;
    int sizeHalfPoints = 0;
    std::int8_t bold = -1, italic = -1;
    bool rightToLeftRun = false;  // \rtlch came after the last \ltrch
    // \af after \loch, \hich or \dbch names the font of those characters, not this one
    bool afNamesOther = false;
    bool set() const { return font >= 0 || sizeHalfPoints > 0 || bold >= 0 || italic >= 0; }
};

struct GroupState {
    Dest dest = Dest::Text;
    int frame = -1;  // the Frame this group opened, closed with it
    int uc = 1;
    bool inNestTableProps = false;
    bool inShape = false;
    bool innerShape = false;  // in a shape inside the shape being read: its place is not read
    bool math = false;  // inside an equation (\mmath)
    int mathObject = -1;  // the frame of the equation object the group is in
    Inline::Kind fieldKind = Inline::Kind::Text;  // PAGE / NUMPAGES / PAGEREF results
    int fieldBookmark = -1;                       // PAGEREF's bookmark
    int lang = -1;  // \langN: the text's language (dates in fields); -1: the document's \deflangN
    CharFormat chr;
    ComplexScript complex;
    ParaState para;
};

enum class FrameKind : std::uint8_t {
    Plain, FontTable, FontAlt, ColorTable, StyleSheet, Title, FieldInst, ListText, LevelText,
    Picture, ShapeName, Sink, Field, PnBefore, PnAfter, Pn, Bookmark, MathObject, MathChar, Shape,
    ShapeGroup, FormItem, ShapeText,
};

// Equation objects that show characters of their own around or between their arguments.
enum class MathKind : std::uint8_t { Other, Nary, Delimiter, Radical, Matrix, Row, EqArray, Accent, UpperLimit };

enum class SinkKind : std::uint8_t { Header, Footer, Note, TextBox };

struct Frame {
    FrameKind kind = FrameKind::Plain;
    std::u16string text;
    SinkKind sink = SinkKind::TextBox;
    int which = 0;        // header/footer: 0 both, 1 left, 2 right, 3 first; note: its index
    CharFormat chr;       // listtext: the label's format
    bool chrSet = false;
    std::size_t usedAtOpen = 0;  // the model's size when the frame opened
    bool entryGroups = false;    // a font table or style sheet holds its entries in groups
    // An equation object: its characters (the n-ary operator, the delimiters and their
    // separator) and how many of its elements have been shown.
    MathKind math = MathKind::Other;
    std::u16string mathOpen, mathSeparator, mathClose;
    int mathElements = 0;
};

struct TableLevel {
    Table table;
    std::vector<TableCell> cells;  // finished cells of the row being read
    Blocks content;                // the cell being read
};

// Where paragraphs go: the body, a header, footer, note or text box.
struct Sink {
    Blocks blocks;
    Paragraph para;
    bool paraHasListText = false;
    std::u16string listText;
    CharFormat listTextFormat;
    bool breakBefore = false;      // \page in an empty paragraph
    std::vector<TableLevel> tables;
    Blocks deferred;               // text boxes anchored in the current paragraph
    Blocks floating;               // positioned shapes anchored in it: they go before it
    // Each floating block's drawing depth (\dodhgt), INT_MIN for a shape's: drawing objects
    // are kept in their depth's order after the last shape before them.
    std::vector<int> floatingDepth;
    int pendingNoteRef = -1;       // the \chftn mark waiting for its \footnote, in para.content
};

// Hands the shapes anchored in the sink's paragraph to `place` in the order they are drawn: as
// they were written, except that the drawing objects since the last shape go by their depth.
template <class Place>
void TakeFloating(Sink& sink, Place place) {
    Blocks blocks = std::move(sink.floating);
    std::vector<int> depth = std::move(sink.floatingDepth);
    sink.floating.clear();
    sink.floatingDepth.clear();
    if (depth.size() != blocks.size()) depth.assign(blocks.size(), INT_MIN);
    std::vector<std::size_t> order(blocks.size()), run(blocks.size());
    std::size_t shapes = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (depth[i] == INT_MIN) ++shapes;
        run[i] = shapes;
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return run[a] != run[b] ? run[a] < run[b] : depth[a] < depth[b];
    });
    for (std::size_t i : order) place(std::move(blocks[i]));
}

// Which paddings a unit word (\trpaddfl0, \clpadft0 ...) says to ignore: left, top, right, bottom.
using PadIgnored = std::array<bool, 4>;

struct CellDef {
    TableCell cell;  // without content
    int shadingColor = -1, patternColor = -1, shading = 0;
    PadIgnored padIgnored{};
};

struct RowDef {
    TableRow row;  // without cells
    PadIgnored padIgnored{};
    std::vector<CellDef> cells;
    CellDef pending;
};

struct ListLevelDef {
    Numbering numbering = Numbering::Decimal;
    int start = 1;
    ParaFormat::LabelFollow follow = ParaFormat::LabelFollow::Tab;  // \levelfollowN
    ParaFormat::LabelAlign align = ParaFormat::LabelAlign::Left;     // \leveljcN
    std::u16string text;  // \leveltext: length, then characters; 0-8 stand for level numbers
    int font = -1;
    bool legal = false;      // \levellegal1: the higher levels' numbers in its label are decimal
    bool noRestart = false;  // \levelnorestart1: a higher level's next item does not restart it
};

struct ListDef {
    int id = 0;
    std::vector<ListLevelDef> levels;
};

// One \lfolevel of a list override: the level's start, its whole format, or both, in place of the list's.
struct LevelOverride {
    bool startAt = false;  // \listoverridestartat: numbering restarts, at `start` where given
    int start = -1;
    bool format = false;   // \listoverrideformat: `level` replaces the list's level
    ListLevelDef level;
};

// A \listoverride: the list a \lsN names, with its first levels overridden in order.
struct ListOverrideDef {
    int listId = 0;
    std::vector<LevelOverride> levels;
};

struct StyleDef {
    int number = 0;
    bool character = false;
    int basedOn = -1;
    std::vector<std::pair<W, int>> tokens;  // its formatting words, parameter or INT_MIN
    CharFormat chr;
    ParaState para;
    // A paragraph style's character words with those of the styles it is based on, oldest
    // first: what \sN lays over the character formatting in force.
    std::vector<std::pair<W, int>> charTokens;
};

struct FieldState {
    Inline::Kind kind = Inline::Kind::Text;
    int link = -1;
    bool resultSeen = false;
    int bookmark = -1;    // PAGEREF: index into Document::bookmarks
    char32_t symbol = 0;  // SYMBOL N: shown when the field has no result
    int symbolFont = -1;
    std::u16string equation;  // EQ: its code, evaluated when the field has no result
    std::u16string display;   // GOTOBUTTON / MACROBUTTON: the button's text; DATE / TIME: today's
    bool replacesResult = false;  // `display` stands instead of the stored result (DATE, TIME)
    bool locked = false;          // \fldlock: never worked out again, the stored result stands
    // A form field (\fftypeN): 1 a check box, 2 a drop-down list; its state (\ffresN, where 25
    // stands for "the default", \ffdefresN), its entries (\ffl) and a check box's own size.
    int formType = -1, formResult = 25, formDefault = 0, formSizeHalfPoints = 0;
    bool formExactSize = false;
    std::vector<std::u16string> formItems;
};

constexpr int kNoParam = std::numeric_limits<int>::min();

// `text` with ASCII letters in upper case: field types and bookmark names match regardless of case.
std::u16string AsciiUpper(std::u16string_view text) {
    std::u16string upper(text);
    for (auto& ch : upper) {
        if (ch >= u'a' && ch <= u'z') ch = char16_t(ch - 32);
    }
    return upper;
}

// The numbering a list level's format code names (\levelnfcN); codes not known here count in decimal.
Numbering NumberingOfNfc(int nfc) {
    switch (nfc) {
        case 1: return Numbering::UpperRoman;
        case 2: return Numbering::LowerRoman;
        case 3: return Numbering::UpperLetter;
        case 4: return Numbering::LowerLetter;
        case 5: return Numbering::Ordinal;
        case 6: return Numbering::CardinalText;
        case 7: return Numbering::OrdinalText;
        case 8: return Numbering::Hex;
        case 9: return Numbering::Chicago;
        case 10: case 36: case 40: case 44: return Numbering::IdeographDigital;
        case 11: return Numbering::JapaneseCounting;
        case 12: return Numbering::AiueoHalfWidth;
        case 13: return Numbering::IrohaHalfWidth;
        case 14: case 19: return Numbering::FullWidthDecimal;
        case 16: return Numbering::JapaneseLegal;
        case 17: return Numbering::JapaneseDigitalTenThousand;
        case 18: case 28: return Numbering::DecimalEnclosedCircle;
        case 20: return Numbering::AiueoFullWidth;
        case 21: return Numbering::IrohaFullWidth;
        case 22: return Numbering::DecimalZero;
        case 23: return Numbering::Bullet;
        case 24: return Numbering::Ganada;
        case 25: return Numbering::Chosung;
        case 26: return Numbering::DecimalEnclosedFullStop;
        case 27: return Numbering::DecimalEnclosedParen;
        case 29: return Numbering::IdeographEnclosedCircle;
        case 30: return Numbering::IdeographTraditional;
        case 31: return Numbering::IdeographZodiac;
        case 32: return Numbering::IdeographZodiacTraditional;
        case 33: case 35: return Numbering::TaiwaneseCounting;
        case 34: return Numbering::IdeographLegalTraditional;
        case 37: case 39: return Numbering::ChineseCounting;
        case 38: return Numbering::ChineseLegalSimplified;
        case 41: return Numbering::KoreanDigital;
        case 42: return Numbering::KoreanCounting;
        case 43: return Numbering::KoreanLegal;
        case 45: return Numbering::Hebrew1;
        case 46: return Numbering::ArabicAlpha;
        case 47: return Numbering::Hebrew2;
        case 48: return Numbering::ArabicAbjad;
        case 255: return Numbering::None;
        default: return Numbering::Decimal;  // 0, 15 (half-width decimal) and codes not known here
    }
}

// The list format code a Word 6 numbering word (\pn...) stands for; -1 for other words.
int NfcOfPnWord(W w) {
    switch (w) {
        case W::pndec: return 0;
        case W::pnucrm: return 1;
        case W::pnlcrm: return 2;
        case W::pnucltr: return 3;
        case W::pnlcltr: return 4;
        case W::pnord: return 5;
        case W::pncard: return 6;
        case W::pnordt: return 7;
        case W::pndbnum: return 10;  // ideographs without the place units: digit by digit
        case W::pndbnumd: case W::pndbnumk: return 11;  // with them: counting
        case W::pnaiu: return 12;
        case W::pniroha: return 13;
        case W::pndbnuml: return 16;
        case W::pndbnumt: return 17;
        case W::pncnum: return 18;
        case W::pndecd: return 19;
        case W::pnaiud: return 20;
        case W::pnirohad: return 21;
        case W::pnganada: return 24;
        case W::pnchosung: return 25;
        case W::pngbnum: return 26;
        case W::pngbnumd: return 27;
        case W::pngbnuml: return 28;
        case W::pngbnumk: return 29;
        case W::pnzodiac: return 30;
        case W::pnzodiacd: return 31;
        case W::pnzodiacl: return 32;
        default: return -1;
    }
}

// A bullet written in a symbol font's private-use range reads as the Unicode bullet, so that
// the label shows in whatever font draws it.
void NormalizeBullets(std::u16string& text) {
    for (auto& c : text) {
        if (c == 0xF0B7 || c == 0xF0A7 || c == 0xF06C || c == 0xF0D8 || c == 0xF0FC) c = u'\u2022';
        else if (c == 0xF06F) c = u'\u25E6';
    }
}

// ---------------------------------------------------------------- the reader

class RtfReader {
public:
    RtfReader(std::string_view input, const ReadLimits& limits, const DateTime& now)
        : in_(input), limits_(limits), now_(now) {
        const std::size_t factor = std::max<std::size_t>(limits.modelBytesPerInputByte, 1);
        const std::size_t most = std::numeric_limits<std::size_t>::max() / 2;
        budget_ = input.size() > (most - std::min(most, limits.modelBytesBase)) / factor
                      ? most
                      : limits.modelBytesBase + input.size() * factor;
    }

    ReadResult Read();

private:
    // tokenizer
    void Run(std::size_t start);
    std::size_t ControlAt(std::size_t i);
    void TextBytes(std::string_view bytes);
    void Word(std::string_view name, int param, std::size_t& pos);
    void Symbol(char c);
    void OpenGroup();
    void CloseGroup();
    void Fail(ReadStatus status, std::string message);

    // text
    void FlushBytes();
    int CurrentCodePage() const;
    void EmitText(std::u16string_view text);
    void MathWord(std::string_view name);
    Frame* MathObject();
    void EmitChar(char32_t c);
    void EmitUnicode(int value);
    void AppendInline(Inline::Kind kind, std::u16string_view text = {}, int bookmark = -1);
    void AppendFormatted(Inline::Kind kind, std::u16string_view text, int bookmark);
    int BookmarkIndex(std::u16string_view name);
    SharedParaFormat SharedFormat(ParaFormat format);
    void Charge(std::size_t bytes);

    // formats
    bool ApplyFormat(GroupState& st, W w, int param);
    void ApplyBorder(GroupState& st, W w, int param);
    int FontIndex(int number) const;
    Color ColorAt(int index) const;
    std::uint8_t UnderlineColor(int index);
    Color Shade(int shadingColor, int patternColor, int shading) const;

    // destinations
    bool OpenFrame(FrameKind kind, Dest dest);
    void CloseFrame(Frame& frame, GroupState& st);
    bool EndUnclosedTables();
    bool ShapeWord(W w, int param);
    bool DrawingWord(W w, int param);
    void ShapeProperty();
    void FinishShape();
    void StartDestination(W w);
    void FontTableText(std::u16string_view text);
    void FinishFontEntry();
    void StyleSheetText(std::u16string_view text);
    void FinishStyleEntry();
    void ResolveStyles();
    void FieldInstruction(const std::u16string& code, int lang);
    void EmitEquation(std::u16string_view code);
    void EmitFormField(const FieldState& field);
    void ApplyNeighbourSpacing(Blocks& blocks, int depth = 0);
    void FinishPicture(const GroupState& st);
    void PictureHex(std::string_view bytes);

    // structure
    Sink& CurrentSink() { return sinks_.back(); }
    void FinishParagraph(bool pageBreakAfter);
    std::u16string ListLabel(const ParaState& para, CharFormat& format, ParaFormat& out);
    // The list level whose words are being read: the list table's last, or (`inOverride`) the
    // last list override's last level; null when there is none.
    ListLevelDef* LevelBeingRead(bool inOverride);
    void PlaceBlock(Sink& sink, Block block, int itap);
    void SetTableDepth(Sink& sink, int depth);
    void CloseTableLevel(Sink& sink);
    void EndCell(int level);
    void EndRow(int level);
    RowDef& RowDefAt(int level);
    int RowLevel(const GroupState& st) const;
    void FinishSink();
    void EndSection(bool startNew);
    void Finish();
    Section& CurrentSection() { return doc_.sections.back(); }

    std::string_view in_;
    ReadLimits limits_;
    std::size_t budget_ = 0, used_ = 0;
    ReadStatus status_ = ReadStatus::Ok;
    std::string message_;
    bool stop_ = false, rootClosed_ = false;

    Document doc_;
    std::vector<GroupState> stack_;
    std::vector<Frame> frames_;
    std::vector<Sink> sinks_;
    std::string pendingBytes_;
    int skip_ = 0;            // fallback characters still to skip after \uN
    bool starPending_ = false;
    char16_t highSurrogate_ = 0;

    int docCodePage_ = 1252;
    int defaultLang_ = 0x0409;  // \deflangN
    DateTime now_;              // what DATE and TIME fields show
    int defaultFontNumber_ = -1;
    std::unordered_map<int, int> fontByNumber_;
    std::unordered_map<std::u16string, int> fontByName_;
    std::vector<int> fontCodePage_;
    struct FontEntry {
        bool open = false;
        int number = 0;
        Font font;
        int codePage = 0;
        bool charsetGiven = false;  // \fcharset or \cpg
        std::u16string name;
    } fontEntry_;

    std::vector<Color> colors_;
    Color colorEntry_;
    bool colorEntrySet_ = false;

    std::vector<StyleDef> styles_;
    std::unordered_map<int, std::size_t> paraStyleByNumber_, charStyleByNumber_;
    StyleDef styleEntry_;
    bool styleEntryOpen_ = false;
    std::size_t resolvedStyles_ = 0;
    std::u16string styleName_;  // of the style entry being read, as far as a name is compared
    std::size_t lineNumberStyle_ = SIZE_MAX;  // the "Line Number" style in styles_, if any

    std::vector<ListDef> lists_;
    std::unordered_map<int, std::size_t> listById_;
    std::vector<ListOverrideDef> overrides_;
    std::unordered_map<int, std::size_t> overrideByLs_;  // \lsN: index into overrides_
    bool levelTextInOverride_ = false;  // the \leveltext being read is an override's
    // The number after control word `name` (a view of the input) as a 32-bit identifier
    // (\listid): writers draw these at random over the whole signed range, beyond the bound
    // other numbers are clamped to.
    std::int32_t WordId(std::string_view name) const {
        std::size_t at = static_cast<std::size_t>(name.data() - in_.data()) + name.size();
        const bool negative = at < in_.size() && in_[at] == '-';
        if (negative) ++at;
        std::uint32_t id = 0;
        for (; at < in_.size() && in_[at] >= '0' && in_[at] <= '9'; ++at) id = id * 10 + static_cast<std::uint32_t>(in_[at] - '0');
        return static_cast<std::int32_t>(negative ? 0u - id : id);
    }
    // Counters per level, of each list and of each override with levels of its own.
    std::map<std::pair<bool, int>, std::array<int, 9>> listCounters_;
    int pnCounter_ = 0;
    std::uint64_t paragraphsFinished_ = 0;
    // Where the equation being read starts in its paragraph (equations do not nest), taken back
    // when it comes with a picture of itself (\mmathPict): the paragraph, its runs, the last
    // run's text.
    struct {
        std::uint64_t paragraph = 0;
        std::size_t runs = 0, chars = 0;
    } mathStart_;
    bool lastParaHadPn_ = false;

    std::vector<RowDef> rowDefs_;  // per table level, 1-based
    BorderTarget borderTarget_ = BorderTarget::None;

    std::vector<FieldState> fields_;
    std::array<std::shared_ptr<const ParaFormat>, 4> recentFormats_;  // see SharedFormat
    std::size_t nextRecentFormat_ = 0;
    std::map<std::u16string, int> bookmarkByName_;  // names in upper case: they match regardless of case
    std::u16string shapePropName_;
    // The shape being read (the outermost one): where it goes and what it brought into its
    // anchor paragraph (its picture) and the paragraph's text boxes.
    struct ShapeBuild {
        bool open = false, hasRect = false, pseudoInline = false;
        bool fitToText = false;  // fFitShapeToText: its box is as high as its text box's text
        int left = 0, top = 0, right = 0, bottom = 0;
        int horzRef = -1, vertRef = -1;  // \shpbx / \shpby, -1 ignored: the properties say
        int wrap = 3;                   // \shpwrN; without it the text is not moved aside
        int posh = 0, posv = 0, posrelh = 2, posrelv = 2;
        int type = -1;                  // shapeType: 1 rectangle, 20 line, 202 text box, ...
        bool line = true, filled = true, flipH = false, flipV = false;
        int lineColor = 0, fillColor = 0xFFFFFF, lineWidth = 9525;  // colours 0xBBGGRR, width EMU
        std::uint8_t arrows = 0;        // lineStartArrowhead (1), lineEndArrowhead (2)
        int rotation = 0;               // 0-359 degrees clockwise (the property is 16.16 fixed point)
        // WordArt: its text and face (gtextUNICODE, gtextFont), style and the fill's opacity
        // (fillOpacity, 65536 opaque).
        std::u16string gtext, gtextFont;
        bool gtextBold = false, gtextItalic = false;
        int fillOpacity = 65536;
        // A Word 95 drawing object (\do), one primitive at a time (a group or a callout holds
        // several, each starting with its kind word): its kind, its place and size from its
        // origin, its fill pattern (0 none), its text box's inner margin (\dptxbxmar; -1:
        // Word's default) and the object's place among the others (\dodhgt: higher in front).
        bool drawing = false;
        enum class Primitive : std::uint8_t { None, Shape, Polyline, Polygon, Arc, GroupHead } primitive = Primitive::None;
        int x = 0, y = 0, width = 0, height = 0, fillPattern = 0, textMargin = -1, depth = 0;
        // A group's coordinates for its shapes (groupLeft ...), and a shape's place in them
        // (relLeft ...).
        bool hasGroupRect = false, hasRelRect = false;
        int groupLeft = 0, groupTop = 0, groupRight = 0, groupBottom = 0;
        int relLeft = 0, relTop = 0, relRight = 0, relBottom = 0;
        std::size_t sink = 0, inlinesAtOpen = 0, deferredAtOpen = 0;
    } shape_, group_;  // the shape being read, and the shape group (\shpgrp) it is in
    // The drawing object being read: the origins of the groups (\dpgroup) its primitive is in,
    // each the sum of those around it, and the primitive's points (\dpptx \dppty).
    struct DrawingBuild {
        std::array<std::pair<int, int>, kMaxDrawingGroups> origins{};
        int groups = 0;  // may exceed kMaxDrawingGroups: deeper groups move their members no further
        std::vector<std::pair<int, int>> points;
    } drawing_;
    void PlaceShape(const ShapeBuild& shape);
    void StartDrawingPrimitive(ShapeBuild::Primitive primitive, int type);
    void FinishDrawingPrimitive(ShapeBuild shape);
    std::string shapeValue_;  // the property value being read ({\sv ...})
    bool shapePropInner_ = false;  // the property is an inner shape's

    struct PictureBuild {
        Picture picture;
        std::vector<std::uint8_t> data;
        int nibble = -1;
        bool tooLarge = false;
    } pict_;

    int columnNumber_ = 0;  // \colnoN - 1: the column \colw and \colsr describe
    int pgnStarts_ = 1;
    bool htmlAutoSpacing_ = false;  // \htmautsp: \sbauto and \saauto are HTML's spacing
    bool pgnRestart_ = false;
    // How footnotes and endnotes are numbered (\ftnnar ... \aftnnchi) and from where (\ftnstartN).
    Numbering footnoteNumbering_ = Numbering::Decimal, endnoteNumbering_ = Numbering::Decimal;
    int footnoteStart_ = 1, endnoteStart_ = 1;
    std::size_t headerBytes_ = 0;  // the headers and footers in force, copied by each new section
    std::size_t headerSlotBytes_[2][4] = {};  // [header, footer][both, left, right, first]
};

ReadResult RtfReader::Read() {
    ReadResult result;
    if (in_.size() > limits_.maxInputBytes) {
        result.status = ReadStatus::TooLarge;
        result.message = "the file is larger than the reader accepts";
        return result;
    }
    std::size_t start = 0;
    if (in_.substr(0, 3) == "\xEF\xBB\xBF") start = 3;
    while (start < in_.size() && (in_[start] == ' ' || in_[start] == '\r' || in_[start] == '\n' ||
                                  in_[start] == '\t')) {
        ++start;
    }
    if (in_.substr(start, 5) != "{\\rtf") {
        result.status = ReadStatus::NotRtf;
        result.message = "not an RTF document";
        return result;
    }
    stack_.reserve(64);
    stack_.emplace_back();  // outside the root group
    sinks_.emplace_back();  // the body
    doc_.sections.emplace_back();
    rowDefs_.resize(2);
    Run(start);
    if (!stop_) FlushBytes();
    // A document whose closing braces are missing at the end is read as if they were there, as
    // word processors do: what it holds is complete.
    Finish();
    result.status = status_;
    result.message = message_;
    result.document = std::move(doc_);
    return result;
}

void RtfReader::Fail(ReadStatus status, std::string message) {
    if (stop_) return;
    stop_ = true;
    status_ = status;
    message_ = std::move(message);
}

void RtfReader::Charge(std::size_t bytes) {
    used_ += bytes;
    if (used_ > budget_) Fail(ReadStatus::TooLarge, "the document needs more memory than its size allows");
}

void RtfReader::Run(std::size_t i) {
    const std::size_t n = in_.size();
    while (i < n && !stop_) {
        const char c = in_[i];
        if (c == '{') {
            ++i;
            OpenGroup();
        } else if (c == '}') {
            ++i;
            CloseGroup();
            if (rootClosed_) return;
        } else if (c == '\\') {
            i = ControlAt(i);
        } else if (c == '\r' || c == '\n') {
            ++i;
        } else {
            // In a double-byte code page a raw lead byte takes the next byte with it, even a
            // brace or a backslash: writers that do not escape their bytes leave such trail
            // bytes as they are.
            const int codePage = CurrentCodePage();
            const bool doubleByte = IsDoubleByteCodePage(codePage);
            std::size_t j = i;
            while (j < n) {
                const char b = in_[j];
                if (doubleByte && IsLeadByte(codePage, static_cast<unsigned char>(b)) && j + 1 < n &&
                    in_[j + 1] != '\r' && in_[j + 1] != '\n') {
                    j += 2;
                    continue;
                }
                if (b == '{' || b == '}' || b == '\\' || b == '\r' || b == '\n') break;
                ++j;
            }
            TextBytes(in_.substr(i, j - i));
            i = j;
        }
    }
}

void RtfReader::OpenGroup() {
    FlushBytes();
    skip_ = 0;
    starPending_ = false;
    if (static_cast<int>(stack_.size()) > limits_.maxGroupDepth) {
        Fail(ReadStatus::TooDeep, "groups are nested too deeply");
        return;
    }
    if (const GroupState& parent = stack_.back(); parent.frame >= 0 &&
                                                   (parent.dest == Dest::FontTable || parent.dest == Dest::StyleSheet))
        frames_[static_cast<std::size_t>(parent.frame)].entryGroups = true;
    stack_.push_back(stack_.back());
    stack_.back().frame = -1;
}

void RtfReader::CloseGroup() {
    FlushBytes();
    skip_ = 0;
    starPending_ = false;
    if (stack_.size() <= 1) return;  // a stray '}' after the end
    GroupState& st = stack_.back();
    if (st.frame >= 0) {
        // Frames nest like groups, so the one this group opened is the last.
        Frame frame = std::move(frames_.back());
        frames_.pop_back();
        CloseFrame(frame, st);
    }
    if (stack_.size() == 2) {
        // The root group: its state stays for placing what is left at the end.
        rootClosed_ = true;
        return;
    }
    stack_.pop_back();
}

std::size_t RtfReader::ControlAt(std::size_t i) {
    const std::size_t n = in_.size();
    ++i;  // the backslash
    if (i >= n) return i;
    const char c = in_[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter) {
        ++i;
        if (c == '\'') {
            auto hex = [](char h) {
                if (h >= '0' && h <= '9') return h - '0';
                if (h >= 'a' && h <= 'f') return h - 'a' + 10;
                if (h >= 'A' && h <= 'F') return h - 'A' + 10;
                return -1;
            };
            if (i + 1 < n && hex(in_[i]) >= 0 && hex(in_[i + 1]) >= 0) {
                const char byte = static_cast<char>(hex(in_[i]) * 16 + hex(in_[i + 1]));
                i += 2;
                if (skip_ > 0) {
                    --skip_;
                } else if ((byte == '\r' || byte == '\n') && stack_.back().dest == Dest::Text) {
                    // An escaped carriage return or line feed breaks the line, where a raw one
                    // in the file is only layout of the RTF itself.
                    FlushBytes();
                    AppendInline(Inline::Kind::LineBreak);
                } else {
                    const Dest d = stack_.back().dest;
                    if (d != Dest::Skip && d != Dest::Picture) pendingBytes_.push_back(byte);
                }
                return i;
            }
            // A broken escape (\'3?) still takes its two characters, short of a group or a
            // control word, and stands for one character that cannot be shown: it is a \uN
            // fallback to skip or else dropped, never a stray "?" in the text.
            for (int k = 0; k < 2 && i < n && in_[i] != '\\' && in_[i] != '{' && in_[i] != '}'; ++k) ++i;
            if (skip_ > 0) --skip_;
            return i;
        }
        FlushBytes();
        if (skip_ > 0) {
            --skip_;
            return i;
        }
        Symbol(c);
        return i;
    }
    std::size_t j = i;
    while (j < n && ((in_[j] >= 'a' && in_[j] <= 'z') || (in_[j] >= 'A' && in_[j] <= 'Z'))) ++j;
    const std::string_view name = in_.substr(i, j - i);
    int param = kNoParam;
    bool negative = false;
    if (j + 1 < n && in_[j] == '-' && in_[j + 1] >= '0' && in_[j + 1] <= '9') {
        negative = true;
        ++j;
    }
    if (j < n && in_[j] >= '0' && in_[j] <= '9') {
        constexpr std::int64_t kInt32Span = std::int64_t{1} << 31;
        std::int64_t value = 0;
        while (j < n && in_[j] >= '0' && in_[j] <= '9') {
            if (value <= kInt32Span) value = value * 10 + (in_[j] - '0');
            ++j;
        }
        // A number beyond 32 bits is none a writer meant, but a delimiter lost between a word
        // and the digits after it ("\sa200" then "1196758096"): it counts as 0, as in
        // LibreOffice, rather than as the largest value (a page of space after each paragraph).
        if (value > (negative ? kInt32Span : kInt32Span - 1)) value = 0;
        value = std::min<std::int64_t>(value, kMaxParam);
        param = static_cast<int>(negative ? -value : value);
    }
    if (j < n && in_[j] == ' ') ++j;
    FlushBytes();
    if (name.size() > kMaxWordLetters) {
        starPending_ = false;
        return j;
    }
    if (skip_ > 0) {
        --skip_;
        if (name == "bin" && param > 0) {
            // the fallback is binary data: skip it whole
            if (static_cast<std::size_t>(param) > n - j) {
                Fail(ReadStatus::Malformed, "binary data runs past the end of the document");
                return n;
            }
            j += static_cast<std::size_t>(param);
        }
        return j;
    }
    Word(name, param, j);
    return j;
}

void RtfReader::Symbol(char c) {
    const bool star = starPending_;
    starPending_ = false;
    GroupState& st = stack_.back();
    if (star && c != '*') {
        st.dest = Dest::Skip;
        return;
    }
    switch (c) {
        case '*': starPending_ = true; break;
        case '{': case '}': case '\\': {
            if (st.dest != Dest::Skip && st.dest != Dest::Picture) pendingBytes_.push_back(c);
            break;
        }
        case '~': EmitChar(0x00A0); break;
        case '-': EmitChar(0x00AD); break;
        case '_': EmitChar(0x2011); break;
        case '\r': case '\n': {
            std::size_t unused = 0;
            Word("par", kNoParam, unused);
            break;
        }
        case '\t': {
            std::size_t unused = 0;
            Word("tab", kNoParam, unused);
            break;
        }
        default: break;  // \: \| and the rest carry nothing shown
    }
}

void RtfReader::TextBytes(std::string_view bytes) {
    starPending_ = false;
    const Dest d = stack_.back().dest;
    if (d == Dest::Skip) return;
    if (skip_ > 0) {
        const std::size_t drop = std::min<std::size_t>(static_cast<std::size_t>(skip_), bytes.size());
        skip_ -= static_cast<int>(drop);
        bytes.remove_prefix(drop);
        if (bytes.empty()) return;
    }
    if (d == Dest::Picture) {
        PictureHex(bytes);
        return;
    }
    if (d == Dest::ColorTable) {
        for (char c : bytes) {
            if (c == ';') {
                colors_.push_back(colorEntrySet_ ? colorEntry_ : Color{});
                Charge(sizeof(Color));
                colorEntry_ = Color{};
                colorEntrySet_ = false;
            }
        }
        return;
    }
    if (d == Dest::ShapeValue) {
        if (shape_.open || group_.open) shapeValue_.append(bytes.substr(0, 16 - std::min<std::size_t>(16, shapeValue_.size())));
        return;
    }
    if (d == Dest::Info || d == Dest::ListTable || d == Dest::ListOverrideTable || d == Dest::ListOverrideLevel ||
        d == Dest::Pn)
        return;
    pendingBytes_.append(bytes);
}

int RtfReader::CurrentCodePage() const {
    const GroupState& st = stack_.back();
    if (st.dest == Dest::FontTable || st.dest == Dest::FontAlt) {
        return fontEntry_.codePage != 0 ? fontEntry_.codePage : docCodePage_;
    }
    int index = st.chr.font;
    if (index < 0) index = doc_.defaultFont;
    if (index >= 0 && static_cast<std::size_t>(index) < fontCodePage_.size() &&
        fontCodePage_[static_cast<std::size_t>(index)] != 0) {
        return fontCodePage_[static_cast<std::size_t>(index)];
    }
    return docCodePage_;
}

void RtfReader::FlushBytes() {
    if (pendingBytes_.empty()) return;
    std::u16string text;
    AppendDecoded(CurrentCodePage(), pendingBytes_, text);
    pendingBytes_.clear();
    EmitText(text);
}

void RtfReader::EmitChar(char32_t c) {
    FlushBytes();
    if (c > 0xFFFF) {
        const char16_t pair[2] = {char16_t(0xD800 + ((c - 0x10000) >> 10)),
                                  char16_t(0xDC00 + ((c - 0x10000) & 0x3FF))};
        EmitText(std::u16string_view(pair, 2));
    } else {
        const char16_t one = static_cast<char16_t>(c);
        EmitText(std::u16string_view(&one, 1));
    }
}

// \uN: N is a signed 16-bit value in most writers; some write code points above 0xFFFF as
// they are. A high surrogate waits for its low half; either half alone becomes U+FFFD.
void RtfReader::EmitUnicode(int value) {
    if (value < 0) value += 65536;
    if (value < 0 || value > 0x10FFFF) value = 0xFFFD;
    if (value >= 0xD800 && value <= 0xDBFF) {
        if (highSurrogate_ != 0) EmitChar(0xFFFD);
        highSurrogate_ = static_cast<char16_t>(value);
        return;
    }
    if (value >= 0xDC00 && value <= 0xDFFF) {
        if (highSurrogate_ == 0) {
            EmitChar(0xFFFD);
            return;
        }
        const char32_t full = 0x10000 + ((char32_t(highSurrogate_) - 0xD800) << 10) + (char32_t(value) - 0xDC00);
        highSurrogate_ = 0;
        EmitChar(full);
        return;
    }
    EmitChar(static_cast<char32_t>(value));
}

void RtfReader::EmitText(std::u16string_view text) {
    if (text.empty()) return;
    if (highSurrogate_ != 0) {
        // a high surrogate followed by anything but its low half
        highSurrogate_ = 0;
        const char16_t replacement = 0xFFFD;
        EmitText(std::u16string_view(&replacement, 1));
    }
    GroupState& st = stack_.back();
    switch (st.dest) {
        case Dest::Text: break;
        case Dest::FontTable: FontTableText(text); return;
        case Dest::StyleSheet: StyleSheetText(text); return;
        default: {
            if (!CollectsText(st.dest) || frames_.empty()) return;
            Frame& frame = frames_.back();
            if (!frame.chrSet) {
                frame.chr = st.chr;
                frame.chrSet = true;
            }
            const std::size_t room = kMaxFrameText - std::min(kMaxFrameText, frame.text.size());
            frame.text.append(text.substr(0, room));
            return;
        }
    }
    // Shown text: control characters other than the tab carry nothing.
    std::size_t start = 0;
    for (std::size_t k = 0; k <= text.size(); ++k) {
        if (k < text.size() && text[k] >= 0x20) continue;
        if (k > start) AppendInline(st.fieldKind, text.substr(start, k - start), st.fieldBookmark);
        if (k < text.size() && text[k] == u'\t') AppendInline(Inline::Kind::Tab);
        start = k + 1;
    }
}

namespace {

// Letters of the scripts word processors format with a run's complex-script properties.
inline bool IsComplexScript(char16_t c) {
    if (c < 0x0590) return false;  // Latin, Greek, Cyrillic: most text, decided at once
    return c <= 0x08FF ||                  // Hebrew, Arabic, Syriac, Thaana, N'Ko ...
           (c >= 0x0900 && c <= 0x0EFF) ||  // Indic scripts, Thai, Lao
           (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF);  // presentation forms
}

CharFormat ComplexFormat(const CharFormat& format, const ComplexScript& complex) {
    CharFormat out = format;
    if (complex.font >= 0) out.font = complex.font;
    if (complex.sizeHalfPoints > 0) out.sizeHalfPoints = complex.sizeHalfPoints;
    if (complex.bold >= 0) out.bold = complex.bold != 0;
    if (complex.italic >= 0) out.italic = complex.italic != 0;
    return out;
}

}  // namespace

void RtfReader::AppendInline(Inline::Kind kind, std::u16string_view text, int bookmark) {
    GroupState& st = stack_.back();
    const ComplexScript& complex = st.complex;
    // Complex-script letters (all of a right-to-left run) take the complex-script format.
    const bool wholeRun = complex.rightToLeftRun;
    auto takesComplex = [wholeRun](char16_t c) { return wholeRun || IsComplexScript(c); };
    if (kind != Inline::Kind::Text || !complex.set() || std::none_of(text.begin(), text.end(), takesComplex)) {
        AppendFormatted(kind, text, bookmark);
        return;
    }
    const CharFormat own = st.chr;
    std::size_t start = 0;
    while (start < text.size()) {
        const bool cs = takesComplex(text[start]);
        std::size_t end = start + 1;
        while (end < text.size() && takesComplex(text[end]) == cs) ++end;
        st.chr = cs ? ComplexFormat(own, complex) : own;
        AppendFormatted(kind, text.substr(start, end - start), bookmark);
        start = end;
    }
    st.chr = own;
}

void RtfReader::AppendFormatted(Inline::Kind kind, std::u16string_view text, int bookmark) {
    GroupState& st = stack_.back();
    auto& content = CurrentSink().para.content;
    if (!fields_.empty() && kind != Inline::Kind::Bookmark) fields_.back().resultSeen = true;
    const bool mergeable = kind == Inline::Kind::Text || kind == Inline::Kind::PageNumber ||
                           kind == Inline::Kind::PageCount || kind == Inline::Kind::PageRef;
    if (mergeable && !content.empty() && content.back().kind == kind && content.back().format == st.chr &&
        content.back().bookmark == bookmark) {
        content.back().text.append(text);
        Charge(text.size() * sizeof(char16_t));
        return;
    }
    Inline item;
    item.kind = kind;
    item.text.assign(text);
    item.format = st.chr;
    item.bookmark = bookmark;
    content.push_back(std::move(item));
    Charge(sizeof(Inline) + text.size() * sizeof(char16_t));
}

// The index of the bookmark named `name` (spaces around it dropped), added when new; -1 for an
// empty name or once the document has as many bookmarks as it may hold.
int RtfReader::BookmarkIndex(std::u16string_view name) {
    while (!name.empty() && (name.front() == u' ' || name.front() == u'\t')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == u' ' || name.back() == u'\t')) name.remove_suffix(1);
    if (name.empty()) return -1;
    std::u16string key = AsciiUpper(name);
    auto found = bookmarkByName_.find(key);
    if (found != bookmarkByName_.end()) return found->second;
    if (doc_.bookmarks.size() >= Document::kMaxBookmarks) return -1;
    const int index = static_cast<int>(doc_.bookmarks.size());
    Charge(2 * (sizeof(std::u16string) + key.size() * sizeof(char16_t)) + 32);
    doc_.bookmarks.emplace_back(name);
    bookmarkByName_.emplace(std::move(key), index);
    return index;
}

// ---------------------------------------------------------------- formats

int RtfReader::FontIndex(int number) const {
    auto it = fontByNumber_.find(number);
    return it == fontByNumber_.end() ? -1 : it->second;
}

Color RtfReader::ColorAt(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= colors_.size()) return Color{};
    return colors_[static_cast<std::size_t>(index)];
}

// The colour table's entry `index` as an underline colour: 0 for the automatic one (the text's),
// else its place in Document::underlineColors plus one. Past 255 colours, the text's.
std::uint8_t RtfReader::UnderlineColor(int index) {
    const Color color = ColorAt(index);
    if (color.automatic) return 0;
    auto& colors = doc_.underlineColors;
    auto it = std::find(colors.begin(), colors.end(), color);
    if (it == colors.end()) {
        if (colors.size() >= 255) return 0;
        it = colors.insert(colors.end(), color);
    }
    return static_cast<std::uint8_t>(it - colors.begin() + 1);
}

// A fill: the background colour with the pattern colour laid over it at `shading`/10000.
Color RtfReader::Shade(int shadingColor, int patternColor, int shading) const {
    const Color back = ColorAt(shadingColor);
    shading = std::clamp(shading, 0, 10000);
    if (shading == 0) return back;
    Color base = back.automatic ? Color{255, 255, 255, false} : back;
    Color over = ColorAt(patternColor);
    if (over.automatic) over = Color{0, 0, 0, false};
    auto mix = [&](std::uint8_t b, std::uint8_t o) {
        return static_cast<std::uint8_t>((b * (10000 - shading) + o * shading) / 10000);
    };
    return Color{mix(base.r, over.r), mix(base.g, over.g), mix(base.b, over.b), false};
}

void RtfReader::ApplyBorder(GroupState& st, W w, int param) {
    BorderLine* lines[4] = {};
    int count = 0;
    RowDef& def = RowDefAt(RowLevel(st));
    switch (borderTarget_) {
        case BorderTarget::None: return;
        case BorderTarget::ParaTop: lines[count++] = &st.para.format.borders.top; break;
        case BorderTarget::ParaLeft: lines[count++] = &st.para.format.borders.left; break;
        case BorderTarget::ParaBottom: lines[count++] = &st.para.format.borders.bottom; break;
        case BorderTarget::ParaRight: lines[count++] = &st.para.format.borders.right; break;
        case BorderTarget::ParaBox: {
            auto& b = st.para.format.borders;
            lines[count++] = &b.top; lines[count++] = &b.left;
            lines[count++] = &b.bottom; lines[count++] = &b.right;
            break;
        }
        case BorderTarget::CellTop: lines[count++] = &def.pending.cell.borders.top; break;
        case BorderTarget::CellLeft: lines[count++] = &def.pending.cell.borders.left; break;
        case BorderTarget::CellBottom: lines[count++] = &def.pending.cell.borders.bottom; break;
        case BorderTarget::CellRight: lines[count++] = &def.pending.cell.borders.right; break;
        case BorderTarget::RowTop: lines[count++] = &def.row.borders.top; break;
        case BorderTarget::RowLeft: lines[count++] = &def.row.borders.left; break;
        case BorderTarget::RowBottom: lines[count++] = &def.row.borders.bottom; break;
        case BorderTarget::RowRight: lines[count++] = &def.row.borders.right; break;
        case BorderTarget::RowInsideH: lines[count++] = &def.row.insideHorizontal; break;
        case BorderTarget::RowInsideV: lines[count++] = &def.row.insideVertical; break;
        case BorderTarget::PageTop: lines[count++] = &CurrentSection().pageBorders.top; break;
        case BorderTarget::PageLeft: lines[count++] = &CurrentSection().pageBorders.left; break;
        case BorderTarget::PageBottom: lines[count++] = &CurrentSection().pageBorders.bottom; break;
        case BorderTarget::PageRight: lines[count++] = &CurrentSection().pageBorders.right; break;
    }
    for (int k = 0; k < count; ++k) {
        BorderLine& line = *lines[k];
        switch (w) {
            case W::brdrnone: line.style = BorderLine::Style::None; line.given = true; break;
            case W::brdrnil: line.style = BorderLine::Style::None; line.given = false; break;  // none specified
            case W::brdrs: line.style = BorderLine::Style::Single; line.given = true; break;
            case W::brdrth: line.style = BorderLine::Style::Thick; line.given = true; break;
            case W::brdrdb: line.style = BorderLine::Style::Double; line.given = true; break;
            case W::brdrthtn: line.style = BorderLine::Style::ThickThin; line.given = true; break;
            case W::brdrdot: line.style = BorderLine::Style::Dotted; line.given = true; break;
            case W::brdrdash: line.style = BorderLine::Style::Dashed; line.given = true; break;
            case W::brdrhair: line.style = BorderLine::Style::Hairline; line.given = true; break;
            case W::brdrw: line.widthTwips = std::clamp(param == kNoParam ? 0 : param, 0, 1440); break;
            case W::brdrcf: line.color = ColorAt(param); break;
            case W::brsp: line.spaceTwips = std::clamp(param == kNoParam ? 0 : param, 0, 1440); break;
            default: break;
        }
    }
}

// Character and paragraph formatting words, on any group state (also a style's scratch
// state). Returns false for words that are neither.
bool RtfReader::ApplyFormat(GroupState& st, W w, int param) {
    const bool has = param != kNoParam;
    const bool on = !has || param != 0;
    CharFormat& c = st.chr;
    ParaState& p = st.para;
    ParaFormat& pf = p.format;
    FramePosition& fr = pf.frame;
    switch (w) {
        case W::plain: {
            const int link = c.link;
            c = CharFormat{};
            c.link = link;
            st.lang = -1;
            st.complex = ComplexScript{};
            break;
        }
        case W::rtlch: case W::ltrch:
            st.complex.rightToLeftRun = w == W::rtlch;
            st.complex.afNamesOther = false;
            break;
        case W::loch: case W::hich: case W::dbch: st.complex.afNamesOther = true; break;
        case W::af:
            if (!st.complex.afNamesOther) st.complex.font = has ? FontIndex(param) : -1;
            break;
        case W::afs: st.complex.sizeHalfPoints = has && param > 0 ? std::clamp(param, 2, kMaxFontHalfPoints) : 0; break;
        case W::ab: st.complex.bold = on ? 1 : 0; break;
        case W::ai: st.complex.italic = on ? 1 : 0; break;
        case W::lang: st.lang = has ? param : -1; break;
        case W::b: c.bold = on; break;
        case W::i: c.italic = on; break;
        case W::ul: c.underline = on ? Underline::Single : Underline::None; break;
        case W::ulnone: c.underline = Underline::None; break;
        case W::uld: c.underline = on ? Underline::Dotted : Underline::None; break;
        case W::uldb: c.underline = on ? Underline::Double : Underline::None; break;
        case W::uldash: c.underline = on ? Underline::Dashed : Underline::None; break;
        case W::ulth: c.underline = on ? Underline::Thick : Underline::None; break;
        case W::ulw: c.underline = on ? Underline::Words : Underline::None; break;
        case W::ulwave: c.underline = on ? Underline::Wave : Underline::None; break;
        case W::strike: c.strike = on; break;
        case W::revised: case W::deleted: {
            using R = CharFormat::Revision;
            const R kind = w == W::revised ? R::Inserted : R::Deleted;
            if (on) c.revision = kind;
            else if (c.revision == kind) c.revision = R::None;
            break;
        }
        case W::revauth: case W::revauthdel:
            c.revisionAuthor = static_cast<std::uint8_t>(std::clamp(has ? param : 0, 0, 255));
            break;
        case W::striked: c.doubleStrike = on; break;
        case W::caps: c.caps = on; break;
        case W::scaps: c.smallCaps = on; break;
        case W::v: c.hidden = on; break;
        case W::outl: c.outline = on; break;
        case W::shad: c.shadow = on; break;
        case W::sub: c.verticalAlign = on ? VerticalAlign::Subscript : VerticalAlign::Baseline; break;
        case W::super: c.verticalAlign = on ? VerticalAlign::Superscript : VerticalAlign::Baseline; break;
        case W::nosupersub: c.verticalAlign = VerticalAlign::Baseline; break;
        case W::up: c.offsetHalfPoints = std::clamp(has ? param : 6, 0, 3276); break;
        case W::dn: c.offsetHalfPoints = -std::clamp(has ? param : 6, 0, 3276); break;
        case W::fs: c.sizeHalfPoints = has && param > 0 ? std::clamp(param, 2, kMaxFontHalfPoints) : 24; break;
        case W::f: c.font = has ? FontIndex(param) : -1; break;
        case W::cf: c.color = ColorAt(has ? param : 0); break;
        case W::ulc: c.underlineColor = UnderlineColor(has ? param : 0); break;
        case W::highlight: case W::chcbpat: c.highlight = ColorAt(has ? param : 0); break;
        case W::expndtw: c.spacingTwips = std::clamp(has ? param : 0, -31680, 31680); break;
        case W::expnd: c.spacingTwips = std::clamp(has ? param : 0, -6336, 6336) * 5; break;
        case W::charscalex: c.scalePercent = has && param > 0 ? std::clamp(param, 1, 600) : 100; break;

        case W::pard:
            p = ParaState{};
            borderTarget_ = BorderTarget::None;
            break;
        case W::rtlpar: pf.rightToLeft = true; break;
        case W::ltrpar: pf.rightToLeft = false; break;
        case W::ql: pf.alignment = Alignment::Left; break;
        case W::qc: pf.alignment = Alignment::Center; break;
        case W::qr: pf.alignment = Alignment::Right; break;
        case W::qj: pf.alignment = Alignment::Justify; break;
        case W::qd: pf.alignment = Alignment::Distribute; break;
        case W::li: pf.leftIndent = Length(has ? param : 0); break;
        case W::ri: pf.rightIndent = Length(has ? param : 0); break;
        case W::fi: pf.firstLineIndent = Length(has ? param : 0); break;
        case W::sb: pf.spaceBefore = std::clamp(has ? param : 0, 0, 31680); break;
        case W::sa: pf.spaceAfter = std::clamp(has ? param : 0, 0, 31680); break;
        case W::sl: pf.lineSpacing = std::clamp(has ? param : 0, -31680, 31680); break;
        case W::slmult: pf.lineMultiple = on; break;
        case W::tqr: p.pendingTab.kind = TabStop::Kind::Right; break;
        case W::tqc: p.pendingTab.kind = TabStop::Kind::Center; break;
        case W::tqdec: p.pendingTab.kind = TabStop::Kind::Decimal; break;
        case W::tldot: p.pendingTab.leader = TabStop::Leader::Dots; break;
        case W::tlhyph: p.pendingTab.leader = TabStop::Leader::Hyphens; break;
        case W::tlul: p.pendingTab.leader = TabStop::Leader::Underline; break;
        case W::tlth: p.pendingTab.leader = TabStop::Leader::Thick; break;
        case W::tleq: p.pendingTab.leader = TabStop::Leader::Equals; break;
        case W::tx: case W::tb: {
            TabStop tab = p.pendingTab;
            if (w == W::tb) tab.kind = TabStop::Kind::Bar;
            tab.position = std::clamp(has ? param : 0, 0, kMaxLength);
            p.pendingTab = TabStop{};
            auto& tabs = pf.tabs;
            if (tabs.size() >= kMaxTabs) break;
            auto at = std::lower_bound(tabs.begin(), tabs.end(), tab.position,
                                       [](const TabStop& t, int pos) { return t.position < pos; });
            if (at != tabs.end() && at->position == tab.position) *at = tab;
            else tabs.insert(at, tab);
            break;
        }
        case W::keep: pf.keepTogether = on; break;
        case W::keepn: pf.keepWithNext = on; break;
        case W::pagebb: pf.pageBreakBefore = on; break;
        // A frame: any position or size puts the paragraph in one; the references, the
        // distance from the text and the wrapping only describe it.
        case W::posx: fr.x = Length(has ? param : 0); fr.horzAlign = FramePosition::HorzAlign::Offset; fr.set = true; break;
        case W::posxl: fr.horzAlign = FramePosition::HorzAlign::Left; fr.set = true; break;
        case W::posxc: fr.horzAlign = FramePosition::HorzAlign::Center; fr.set = true; break;
        case W::posxr: fr.horzAlign = FramePosition::HorzAlign::Right; fr.set = true; break;
        case W::posxi: fr.horzAlign = FramePosition::HorzAlign::Inside; fr.set = true; break;
        case W::posxo: fr.horzAlign = FramePosition::HorzAlign::Outside; fr.set = true; break;
        case W::posy: fr.y = Length(has ? param : 0); fr.vertAlign = FramePosition::VertAlign::Offset; fr.set = true; break;
        case W::posyt: fr.vertAlign = FramePosition::VertAlign::Top; fr.set = true; break;
        case W::posyc: fr.vertAlign = FramePosition::VertAlign::Center; fr.set = true; break;
        case W::posyb: fr.vertAlign = FramePosition::VertAlign::Bottom; fr.set = true; break;
        case W::posyil: fr.vertAlign = FramePosition::VertAlign::Inline; fr.set = true; break;
        case W::absw: fr.width = std::clamp(has ? param : 0, 0, kMaxLength); fr.set = true; break;
        case W::absh: fr.height = Length(has ? param : 0); fr.set = true; break;
        case W::phcol: fr.horzRef = FramePosition::HorzRef::Column; break;
        case W::phmrg: fr.horzRef = FramePosition::HorzRef::Margin; break;
        case W::phpg: fr.horzRef = FramePosition::HorzRef::Page; break;
        case W::pvpara: fr.vertRef = FramePosition::VertRef::Paragraph; break;
        case W::pvmrg: fr.vertRef = FramePosition::VertRef::Margin; break;
        case W::pvpg: fr.vertRef = FramePosition::VertRef::Page; break;
        case W::dxfrtext: fr.gapX = fr.gapY = std::clamp(has ? param : 0, 0, kMaxLength); break;
        case W::dfrmtxtx: fr.gapX = std::clamp(has ? param : 0, 0, kMaxLength); break;
        case W::dfrmtxty: fr.gapY = std::clamp(has ? param : 0, 0, kMaxLength); break;
        case W::nowrap: fr.wrap = false; break;
        case W::wrapframe: fr.wrap = true; break;
        case W::widctlpar: pf.widowControl = true; break;
        case W::contextualspace: pf.contextualSpacing = on; break;
        case W::htmautsp: htmlAutoSpacing_ = true; break;
        case W::sbauto: pf.autoSpaceBefore = has && param == 1; break;
        case W::saauto: pf.autoSpaceAfter = has && param == 1; break;
        case W::noline: pf.noLineNumbers = on; break;
        case W::nowidctlpar: pf.widowControl = false; break;
        case W::intbl: if (p.itap == 0 && on) p.itap = 1; if (!on) p.itap = 0; break;
        case W::itap: p.itap = std::clamp(has ? param : 1, 0, limits_.maxTableDepth); break;
        case W::outlinelevel: pf.outlineLevel = std::clamp(has ? param : 0, -1, 9); break;
        case W::ls: p.ls = has ? param : 0; break;
        case W::ilvl: p.ilvl = std::clamp(has ? param : 0, 0, 8); break;
        case W::brdrt: borderTarget_ = BorderTarget::ParaTop; break;
        case W::brdrb: borderTarget_ = BorderTarget::ParaBottom; break;
        case W::brdrl: borderTarget_ = BorderTarget::ParaLeft; break;
        case W::brdrr: borderTarget_ = BorderTarget::ParaRight; break;
        case W::box: borderTarget_ = BorderTarget::ParaBox; break;
        case W::brdrbtw: borderTarget_ = BorderTarget::None; break;
        case W::brdrnone: case W::brdrnil: case W::brdrs: case W::brdrth: case W::brdrdb: case W::brdrthtn: case W::brdrdot:
        case W::brdrdash: case W::brdrhair: case W::brdrw: case W::brdrcf: case W::brsp:
            ApplyBorder(st, w, param);
            break;
        case W::cbpat: p.shadingColor = has ? param : -1; break;
        case W::cfpat: p.patternColor = has ? param : -1; break;
        case W::shading: p.shading = has ? param : 0; break;
        default: return false;
    }
    return true;
}

// ---------------------------------------------------------------- destinations

// Opens a frame for the current group; false (and the group skipped) when the group has one
// already: a group is one destination, a second destination word in it makes no sense.
bool RtfReader::OpenFrame(FrameKind kind, Dest dest) {
    GroupState& st = stack_.back();
    if (st.frame >= 0) {
        st.dest = Dest::Skip;
        return false;
    }
    st.dest = dest;
    frames_.emplace_back();
    frames_.back().kind = kind;
    frames_.back().usedAtOpen = used_;
    st.frame = static_cast<int>(frames_.size()) - 1;
    return true;
}

// ---------------------------------------------------------------- shapes

// The shape's place: \shpleft ... \shpbottom in its references (\shpbx*, \shpby*) and how text
// wraps around it (\shpwr).
bool RtfReader::ShapeWord(W w, int param) {
    ShapeBuild& shape = shape_.open ? shape_ : group_;  // the shape, else its group
    const int v = param == kNoParam ? 0 : Length(param);
    switch (w) {
        case W::shpleft: shape.left = v; shape.hasRect = true; return true;
        case W::shptop: shape.top = v; shape.hasRect = true; return true;
        case W::shpright: shape.right = v; shape.hasRect = true; return true;
        case W::shpbottom: shape.bottom = v; shape.hasRect = true; return true;
        case W::shpbxpage: shape.horzRef = 1; return true;
        case W::shpbxmargin: shape.horzRef = 0; return true;
        case W::shpbxcolumn: shape.horzRef = 2; return true;
        case W::shpbxignore: shape.horzRef = -1; return true;
        case W::shpbypage: shape.vertRef = 1; return true;
        case W::shpbymargin: shape.vertRef = 0; return true;
        case W::shpbypara: shape.vertRef = 2; return true;
        case W::shpbyignore: shape.vertRef = -1; return true;
        case W::shpwr: shape.wrap = param == kNoParam ? 2 : param; return true;
        default: break;
    }
    return shape.drawing && DrawingWord(w, param);
}

// A word of the drawing object being read, in the object's own group (not in its text box).
// Its primitives have a place (\dpx \dpy \dpxsize \dpysize), a line (style, colour, width in
// twips, arrowheads) and a fill: a pattern and its colours, of which only the background
// colour is shown (Word writes a solid fill as pattern 1 in the background colour, and
// patterns are not drawn).
bool RtfReader::DrawingWord(W w, int param) {
    if (stack_.back().dest != Dest::Drawing) return false;
    using Primitive = ShapeBuild::Primitive;
    ShapeBuild& shape = shape_;
    const int v = param == kNoParam ? 0 : Length(param);
    const int byte = std::clamp(param == kNoParam ? 0 : param, 0, 255);
    switch (w) {
        case W::dobxpage: shape.horzRef = 1; return true;
        case W::dobxmargin: shape.horzRef = 0; return true;
        case W::dobxcolumn: shape.horzRef = 2; return true;
        case W::dobypage: shape.vertRef = 1; return true;
        case W::dobymargin: shape.vertRef = 0; return true;
        case W::dobypara: shape.vertRef = 2; return true;
        case W::dodhgt: shape.depth = param == kNoParam ? 0 : param; return true;
        case W::dpx: shape.x = v; return true;
        case W::dpy: shape.y = v; return true;
        case W::dpxsize: shape.width = v; return true;
        case W::dpysize: shape.height = v; return true;
        case W::dptxbx: StartDrawingPrimitive(Primitive::Shape, 202); return true;
        case W::dprect: StartDrawingPrimitive(Primitive::Shape, 1); return true;
        case W::dproundr: if (shape.type == 1) shape.type = 2; return true;
        case W::dpellipse: StartDrawingPrimitive(Primitive::Shape, 3); return true;
        case W::dpline: StartDrawingPrimitive(Primitive::Shape, 20); return true;
        case W::dppolyline: StartDrawingPrimitive(Primitive::Polyline, 0); return true;
        case W::dppolygon: if (shape.primitive == Primitive::Polyline) shape.primitive = Primitive::Polygon; return true;
        case W::dparc: StartDrawingPrimitive(Primitive::Arc, 0); return true;
        case W::dparcflipx: shape.flipH = true; return true;
        case W::dparcflipy: shape.flipV = true; return true;
        case W::dpcallout: StartDrawingPrimitive(Primitive::None, 0); return true;  // its line and text box follow
        case W::dpgroup: StartDrawingPrimitive(Primitive::GroupHead, 0); return true;
        case W::dpendgroup:
            // the group's place follows, as given before its members: read, and not used
            StartDrawingPrimitive(Primitive::None, 0);
            if (drawing_.groups > 0) --drawing_.groups;
            return true;
        case W::dpptx:
            if (drawing_.points.size() < kMaxDrawingPoints) drawing_.points.emplace_back(v, 0);
            return true;
        case W::dppty:
            if (!drawing_.points.empty()) drawing_.points.back().second = v;
            return true;
        case W::dptxbxmar: shape.textMargin = std::clamp(v, 0, 1440); return true;
        case W::dplinesolid: shape.line = true; return true;
        case W::dplinehollow: shape.line = false; return true;  // \dplinehollow0 too
        case W::dplinew: shape.lineWidth = std::clamp(v, 0, 1440) * 635; return true;
        case W::dplinecor: shape.lineColor = (shape.lineColor & 0xFFFF00) | byte; return true;
        case W::dplinecog: shape.lineColor = (shape.lineColor & 0xFF00FF) | (byte << 8); return true;
        case W::dplinecob: shape.lineColor = (shape.lineColor & 0x00FFFF) | (byte << 16); return true;
        case W::dpastart: shape.arrows |= 1; return true;
        case W::dpaend: shape.arrows |= 2; return true;
        case W::dpfillpat: shape.fillPattern = param == kNoParam ? 0 : param; return true;
        case W::dpfillbgcr: shape.fillColor = (shape.fillColor & 0xFFFF00) | byte; return true;
        case W::dpfillbgcg: shape.fillColor = (shape.fillColor & 0xFF00FF) | (byte << 8); return true;
        case W::dpfillbgcb: shape.fillColor = (shape.fillColor & 0x00FFFF) | (byte << 16); return true;
        default: return false;
    }
}

// A primitive of the drawing object starts with its kind word: the one before it is finished,
// and a group's head gives its members their origin. What the object says of all its
// primitives (its references, its depth) stays.
void RtfReader::StartDrawingPrimitive(ShapeBuild::Primitive primitive, int type) {
    ShapeBuild& shape = shape_;
    if (shape.primitive == ShapeBuild::Primitive::GroupHead) {
        if (drawing_.groups < kMaxDrawingGroups) {
            const auto outer = drawing_.groups > 0 ? drawing_.origins[drawing_.groups - 1] : std::pair<int, int>{};
            drawing_.origins[drawing_.groups] = {Length(outer.first + shape.x), Length(outer.second + shape.y)};
        }
        ++drawing_.groups;
    } else {
        FinishDrawingPrimitive(shape);
    }
    ShapeBuild next;
    next.open = next.drawing = next.hasRect = true;
    next.horzRef = shape.horzRef;
    next.vertRef = shape.vertRef;
    next.wrap = shape.wrap;
    next.depth = shape.depth;
    next.sink = shape.sink;
    if (shape.sink < sinks_.size()) {
        next.inlinesAtOpen = sinks_[shape.sink].para.content.size();
        next.deferredAtOpen = sinks_[shape.sink].deferred.size();
    }
    next.primitive = primitive;
    next.type = type;
    shape = next;
    drawing_.points.clear();
}

// A drawing object's primitive ends: placed as the shape it is, from the origin of its groups.
// A line goes from its first point to its second. The model has no shape of many points:
// polylines and polygons are drawn as lines from point to point (a polygon closed, and not
// filled), and an arc, a quarter of an ellipse from its box's top-left corner to its
// bottom-right one bulging towards the top-right unless flipped, as kArcSteps lines.
void RtfReader::FinishDrawingPrimitive(ShapeBuild shape) {
    using Primitive = ShapeBuild::Primitive;
    if (shape.primitive == Primitive::GroupHead) return;
    const int level = std::min(drawing_.groups, kMaxDrawingGroups);
    const auto origin = level > 0 ? drawing_.origins[level - 1] : std::pair<int, int>{};
    const int x0 = Length(origin.first + shape.x), y0 = Length(origin.second + shape.y);
    shape.filled = shape.fillPattern != 0;
    const auto& points = drawing_.points;
    if (shape.primitive == Primitive::Shape || shape.primitive == Primitive::None) {
        if (shape.type == 20 && points.size() >= 2) {
            shape.left = Length(x0 + points[0].first), shape.top = Length(y0 + points[0].second);
            shape.right = Length(x0 + points[1].first), shape.bottom = Length(y0 + points[1].second);
            shape.flipH = shape.left > shape.right;
            shape.flipV = shape.top > shape.bottom;
        } else {
            shape.left = x0, shape.top = y0;
            shape.right = Length(x0 + shape.width), shape.bottom = Length(y0 + shape.height);
        }
        PlaceShape(shape);
        return;
    }
    std::vector<std::pair<int, int>> path;
    if (shape.primitive == Primitive::Arc) {
        for (int k = 0; k <= kArcSteps; ++k) {
            const double angle = k * std::numbers::pi / 2 / kArcSteps;
            const double dx = shape.width * std::sin(angle), dy = shape.height * (1 - std::cos(angle));
            path.emplace_back(Length(x0 + static_cast<int>(std::lround(shape.flipH ? shape.width - dx : dx))),
                              Length(y0 + static_cast<int>(std::lround(shape.flipV ? shape.height - dy : dy))));
        }
    } else {
        for (const auto& [px, py] : points) path.emplace_back(Length(x0 + px), Length(y0 + py));
        if (shape.primitive == Primitive::Polygon && path.size() > 2) path.push_back(path.front());
    }
    for (std::size_t i = 1; i < path.size() && !stop_; ++i) {
        ShapeBuild line = shape;
        line.type = 20;
        line.left = path[i - 1].first, line.top = path[i - 1].second;
        line.right = path[i].first, line.bottom = path[i].second;
        line.flipH = line.left > line.right;
        line.flipV = line.top > line.bottom;
        line.arrows = static_cast<std::uint8_t>((i == 1 ? shape.arrows & 1 : 0) | (i + 1 == path.size() ? shape.arrows & 2 : 0));
        PlaceShape(line);
    }
}

// A property just read ({\sp{\sn name}{\sv value}}): those that place the shape.
void RtfReader::ShapeProperty() {
    if (!(shape_.open || group_.open) || shapePropName_.empty() || shapePropInner_) return;
    ShapeBuild& shape = shape_.open ? shape_ : group_;
    int value = 0;
    const auto [end, error] = std::from_chars(shapeValue_.data(), shapeValue_.data() + shapeValue_.size(), value);
    shapeValue_.clear();
    if (error != std::errc{}) return;
    const std::u16string& name = shapePropName_;
    if (name == u"posh") shape.posh = value;
    else if (name == u"posv") shape.posv = value;
    else if (name == u"posrelh") shape.posrelh = value;
    else if (name == u"posrelv") shape.posrelv = value;
    else if (name == u"fPseudoInline") shape.pseudoInline = value != 0;
    else if (name == u"fFitShapeToText") shape.fitToText = value != 0;
    else if (name == u"shapeType") shape.type = value;
    else if (name == u"fLine") shape.line = value != 0;
    else if (name == u"rotation") shape.rotation = static_cast<int>((((std::int64_t{value} + 32768) >> 16) % 360 + 360) % 360);
    else if (name == u"fFlipH" || name == u"fRelFlipH") shape.flipH = value != 0;  // Rel: in a group
    else if (name == u"fFlipV" || name == u"fRelFlipV") shape.flipV = value != 0;
    else if (name == u"lineStartArrowhead") shape.arrows = static_cast<std::uint8_t>((shape.arrows & 2) | (value > 0 ? 1 : 0));
    else if (name == u"lineEndArrowhead") shape.arrows = static_cast<std::uint8_t>((shape.arrows & 1) | (value > 0 ? 2 : 0));
    else if (name == u"fFilled") shape.filled = value != 0;
    else if (name == u"fillOpacity") shape.fillOpacity = std::clamp(value, 0, 65536);
    else if (name == u"gtextFBold") shape.gtextBold = value != 0;
    else if (name == u"gtextFItalic") shape.gtextItalic = value != 0;
    else if (name == u"lineColor") shape.lineColor = value;
    else if (name == u"fillColor") shape.fillColor = value;
    else if (name == u"lineWidth") shape.lineWidth = value;
    else if (name == u"groupLeft") shape.groupLeft = value, shape.hasGroupRect = true;
    else if (name == u"groupTop") shape.groupTop = value, shape.hasGroupRect = true;
    else if (name == u"groupRight") shape.groupRight = value, shape.hasGroupRect = true;
    else if (name == u"groupBottom") shape.groupBottom = value, shape.hasGroupRect = true;
    else if (name == u"relLeft") shape.relLeft = value, shape.hasRelRect = true;
    else if (name == u"relTop") shape.relTop = value, shape.hasRelRect = true;
    else if (name == u"relRight") shape.relRight = value, shape.hasRelRect = true;
    else if (name == u"relBottom") shape.relBottom = value, shape.hasRelRect = true;
    shapePropName_.clear();
}

// A shape ends: its picture and its text boxes become a frame where the shape stands, placed
// before its anchor paragraph so that the paragraph flows around it. A shape that stands in
// the line (or tells no place) keeps its picture in the line and its text after the paragraph.
void RtfReader::FinishShape() {
    ShapeProperty();
    ShapeBuild shape = shape_;
    shape_ = ShapeBuild{};
    if (shape.drawing) {
        FinishDrawingPrimitive(shape);
        drawing_.groups = 0;
        drawing_.points.clear();
        return;
    }
    if (group_.open) {
        // A shape of a group: its place in the group's coordinates, scaled to the group's box,
        // in the group's references and wrapping. A group that is aligned rather than placed,
        // or tells no coordinates, leaves its shapes in the line.
        const ShapeBuild& g = group_;
        shape.hasRect = false;
        const std::int64_t gw = std::int64_t{g.groupRight} - g.groupLeft, gh = std::int64_t{g.groupBottom} - g.groupTop;
        if (g.hasRect && g.hasGroupRect && shape.hasRelRect && gw != 0 && gh != 0 && g.posh == 0 && g.posv == 0) {
            // A turned group's box holds it turned (sideways when turned a quarter): its shapes
            // are placed in the unturned box, then turned with it about its centre.
            const int turn = g.rotation;
            const std::int64_t cx = (std::int64_t{g.left} + g.right) / 2, cy = (std::int64_t{g.top} + g.bottom) / 2;
            std::int64_t left = g.left, top = g.top, right = g.right, bottom = g.bottom;
            if (FramePosition::IsSideways(turn)) {
                left = cx - (std::int64_t{g.bottom} - g.top) / 2, right = cx + (std::int64_t{g.bottom} - g.top) / 2;
                top = cy - (std::int64_t{g.right} - g.left) / 2, bottom = cy + (std::int64_t{g.right} - g.left) / 2;
            }
            auto mapX = [&](int v) {
                return static_cast<int>(std::clamp<std::int64_t>(left + (std::int64_t{v} - g.groupLeft) * (right - left) / gw,
                                                                 INT_MIN / 4, INT_MAX / 4));
            };
            auto mapY = [&](int v) {
                return static_cast<int>(std::clamp<std::int64_t>(top + (std::int64_t{v} - g.groupTop) * (bottom - top) / gh,
                                                                 INT_MIN / 4, INT_MAX / 4));
            };
            std::int64_t l = mapX(shape.relLeft), r = mapX(shape.relRight), t = mapY(shape.relTop), b = mapY(shape.relBottom);
            if (turn != 0) {
                // the shape's centre turned about the group's, its own box kept the way round
                // its total turn asks for
                const double angle = turn * std::numbers::pi / 180;
                const double dx = (l + r) / 2.0 - cx, dy = (t + b) / 2.0 - cy;
                const double nx = cx + dx * std::cos(angle) - dy * std::sin(angle);
                const double ny = cy + dx * std::sin(angle) + dy * std::cos(angle);
                const int own = shape.rotation, total = (own + turn) % 360;
                std::int64_t w = std::abs(r - l), h = std::abs(b - t);
                if (FramePosition::IsSideways(own) != FramePosition::IsSideways(total)) std::swap(w, h);
                l = std::llround(nx - w / 2.0), r = l + w, t = std::llround(ny - h / 2.0), b = t + h;
                shape.rotation = total;
            }
            shape.left = Length(static_cast<int>(std::clamp<std::int64_t>(l, INT_MIN / 4, INT_MAX / 4)));
            shape.right = Length(static_cast<int>(std::clamp<std::int64_t>(r, INT_MIN / 4, INT_MAX / 4)));
            shape.top = Length(static_cast<int>(std::clamp<std::int64_t>(t, INT_MIN / 4, INT_MAX / 4)));
            shape.bottom = Length(static_cast<int>(std::clamp<std::int64_t>(b, INT_MIN / 4, INT_MAX / 4)));
            shape.horzRef = g.horzRef;
            shape.vertRef = g.vertRef;
            shape.posrelh = g.posrelh;
            shape.posrelv = g.posrelv;
            shape.posh = shape.posv = 0;
            shape.wrap = g.wrap;
            shape.hasRect = true;
        }
    }
    PlaceShape(shape);
}

// A shape (or a primitive of a drawing object) in its place: a frame before its anchor
// paragraph holding what it drew there and its text box.
void RtfReader::PlaceShape(const ShapeBuild& shape) {
    if (!shape.hasRect || shape.pseudoInline || shape.sink + 1 != sinks_.size()) return;
    Sink& sink = sinks_[shape.sink];
    if (sink.para.content.size() < shape.inlinesAtOpen || sink.deferred.size() < shape.deferredAtOpen) return;
    FramePosition frame;
    frame.set = true;
    frame.shape = true;
    // \shpbx* / \shpby*, or when those say to ignore them, the properties posrelh/posrelv:
    // 0 margin, 1 page, 2 column or paragraph, 3 character or line.
    const int h = shape.horzRef >= 0 ? shape.horzRef : shape.posrelh;
    const int v = shape.vertRef >= 0 ? shape.vertRef : shape.posrelv;
    frame.horzRef = h == 0 ? FramePosition::HorzRef::Margin : h == 1 ? FramePosition::HorzRef::Page
                                                                     : FramePosition::HorzRef::Column;
    frame.vertRef = v == 0 ? FramePosition::VertRef::Margin : v == 1 ? FramePosition::VertRef::Page
                                                                     : FramePosition::VertRef::Paragraph;
    using HA = FramePosition::HorzAlign;
    using VA = FramePosition::VertAlign;
    static constexpr HA kHorz[] = {HA::Offset, HA::Left, HA::Center, HA::Right, HA::Inside, HA::Outside};
    static constexpr VA kVert[] = {VA::Offset, VA::Top, VA::Center, VA::Bottom, VA::Top, VA::Bottom};
    frame.horzAlign = kHorz[shape.posh >= 0 && shape.posh < 6 ? shape.posh : 0];
    frame.vertAlign = kVert[shape.posv >= 0 && shape.posv < 6 ? shape.posv : 0];
    frame.x = std::min(shape.left, shape.right);
    frame.y = std::min(shape.top, shape.bottom);
    frame.width = std::max(1, std::abs(shape.right - shape.left));
    frame.height = -std::max(1, std::abs(shape.bottom - shape.top));
    const bool textBox = shape.deferredAtOpen < sink.deferred.size();
    const bool fitted = shape.fitToText && textBox;
    if (fitted) frame.height = 0;  // as high as what it holds
    frame.gapX = 180;  // Word's default distance from the text, left and right
    frame.wrap = shape.wrap != 1;
    frame.inFront = shape.wrap == 3;
    // Rectangles (also rounded ones) and text boxes draw their outline and fill, ellipses
    // theirs, lines and connectors themselves; other shapes (pictures, block arrows, curves ...)
    // only show their picture and text.
    auto color = [](int bgr) { return Color{static_cast<std::uint8_t>(bgr & 0xFF), static_cast<std::uint8_t>((bgr >> 8) & 0xFF),
                                            static_cast<std::uint8_t>((bgr >> 16) & 0xFF), false}; };
    using Drawn = FramePosition::Drawn;
    // (flowchart shapes alike: 109 process, 112 predefined process, 116 terminator, 120 connector)
    const bool box = shape.type == 1 || shape.type == 2 || shape.type == 202 || shape.type == 109 ||
                     shape.type == 112 || shape.type == 116;
    const bool ellipse = shape.type == 3 || shape.type == 120;
    const bool preset = !PresetOutline(shape.type).empty();
    const bool line = shape.type == 20 || shape.type == 32;  // a line, a straight connector
    const bool straight = shape.left == shape.right || shape.top == shape.bottom;
    if (shape.line && (box || line)) {
        frame.drawn = box ? Drawn::Outline
                      : straight && shape.arrows == 0 ? (shape.top == shape.bottom ? Drawn::Across : Drawn::Down)
                                                      : Drawn::Line;
    }
    if (ellipse) frame.drawn = Drawn::Ellipse;
    if (preset) frame.drawn = Drawn::Preset, frame.preset = static_cast<std::uint8_t>(shape.type);
    if (frame.drawn != Drawn::Nothing) {
        frame.lineColor = color(shape.lineColor);
        // 635 EMU to the twip; an ellipse without its line keeps its fill alone
        frame.lineWidth = (ellipse || preset) && !shape.line ? 0 : std::clamp(shape.lineWidth / 635, 1, 1440);
        frame.flipH = shape.flipH;
        frame.flipV = shape.flipV;
        frame.arrows = shape.arrows;
        frame.rotation = shape.rotation;
    }
    if ((box || ellipse || preset) && shape.filled && (shape.fillColor & 0xFFFFFF) != 0xFFFFFF)
        frame.fill = color(shape.fillColor);
    // WordArt (the text effects 136-175): its text filled with the shape's fill, which a
    // watermark makes translucent (here: lightened as over white paper), else in its line's colour.
    if (shape.type >= 136 && shape.type <= 175 && !shape.gtext.empty() && doc_.shapeTexts.size() < 4096) {
        frame.drawn = Drawn::WordArt;
        frame.rotation = shape.rotation;
        frame.flipH = shape.flipH;
        frame.flipV = shape.flipV;
        ShapeText wordArt;
        wordArt.text = shape.gtext;
        Color ink = color(shape.filled ? shape.fillColor : shape.lineColor);
        if (shape.filled && shape.fillOpacity < 65536) {
            for (std::uint8_t* c : {&ink.r, &ink.g, &ink.b})
                *c = static_cast<std::uint8_t>(255 - (255 - *c) * static_cast<std::int64_t>(shape.fillOpacity) / 65536);
        }
        wordArt.format.color = ink;
        wordArt.format.bold = shape.gtextBold;
        wordArt.format.italic = shape.gtextItalic;
        if (!shape.gtextFont.empty()) {
            auto known = fontByName_.find(shape.gtextFont);
            if (known == fontByName_.end()) {
                Font face;
                face.name = shape.gtextFont;
                doc_.fonts.push_back(std::move(face));
                fontCodePage_.push_back(0);
                known = fontByName_.emplace(shape.gtextFont, static_cast<int>(doc_.fonts.size()) - 1).first;
            }
            wordArt.format.font = known->second;
        }
        frame.shapeText = static_cast<int>(doc_.shapeTexts.size());
        doc_.shapeTexts.push_back(std::move(wordArt));
        Charge(sizeof(ShapeText) + sizeof(Font) + 2 * (shape.gtext.size() + shape.gtextFont.size()));
    }
    const bool drawsItself = frame.drawn != FramePosition::Drawn::Nothing || !frame.fill.automatic;
    frame.rounded = shape.type == 2 && drawsItself;

    // The pictures it drew into its anchor paragraph, in a paragraph of their own. Anything
    // else it left there (a stray note mark) stays, and the mark waiting for its note is
    // followed to where it moves.
    Paragraph picture;
    auto& content = sink.para.content;
    std::size_t kept = shape.inlinesAtOpen;
    for (std::size_t i = shape.inlinesAtOpen; i < content.size(); ++i) {
        if (content[i].kind == Inline::Kind::Picture) {
            picture.content.push_back(std::move(content[i]));
            continue;
        }
        if (sink.pendingNoteRef == static_cast<int>(i)) sink.pendingNoteRef = static_cast<int>(kept);
        if (kept != i) content[kept] = std::move(content[i]);
        ++kept;
    }
    content.erase(content.begin() + static_cast<std::ptrdiff_t>(kept), content.end());
    ParaFormat format;
    format.frame = frame;
    const int depth = shape.drawing ? shape.depth : INT_MIN;
    if (!picture.content.empty() || (drawsItself && !textBox)) {
        // (a shape with nothing in it still needs a paragraph to stand for its box; counted
        // now, twice as the list may be moved, as a drawing object makes many that wait for
        // their paragraph)
        picture.format = SharedFormat(format);
        Charge(2 * (sizeof(Block) + sizeof(int)));
        sink.floating.push_back(Block{std::move(picture)});
        sink.floatingDepth.push_back(depth);
    }
    // Its text box, inside the box's inner margins (Word's: 0.1 inch at the sides, 0.05 inch
    // above; a drawing object's its \dptxbxmar all round).
    const int side = shape.textMargin >= 0 ? shape.textMargin : 144, top = shape.textMargin >= 0 ? shape.textMargin : 72;
    for (std::size_t i = shape.deferredAtOpen; i < sink.deferred.size(); ++i) {
        if (auto* p = std::get_if<Paragraph>(&sink.deferred[i].value)) {
            ParaFormat own = *p->format;
            own.frame = frame;
            own.leftIndent += side;
            own.rightIndent += side;
            if (i == shape.deferredAtOpen) own.spaceBefore += top;
            if (fitted && i + 1 == sink.deferred.size()) own.spaceAfter += top;  // its inner margin below
            p->format = SharedFormat(std::move(own));
        } else {
            Table& table = std::get<Table>(sink.deferred[i].value);
            table.frame = frame;
            for (TableRow& row : table.rows) {  // moved in by the inner margin, as the paragraphs
                row.leftOffset = Length(row.leftOffset + side);
                for (TableCell& cell : row.cells) cell.rightEdge = Length(cell.rightEdge + side);
            }
        }
        sink.floating.push_back(std::move(sink.deferred[i]));
        sink.floatingDepth.push_back(depth);
    }
    sink.deferred.erase(sink.deferred.begin() + static_cast<std::ptrdiff_t>(shape.deferredAtOpen), sink.deferred.end());
}

// ---------------------------------------------------------------- equations

// The equation object the current group is inside: its frame lives as long as the group.
Frame* RtfReader::MathObject() {
    const int i = stack_.back().mathObject;
    if (i < 0 || static_cast<std::size_t>(i) >= frames_.size() || frames_[i].kind != FrameKind::MathObject)
        return nullptr;
    return &frames_[static_cast<std::size_t>(i)];
}

// An equation's words (\mnary, \msub, \me ...). Equations are shown in a linear form, so that
// their text is not lost: the runs' text as written, sub- and superscripts raised and lowered,
// fractions as numerator over denominator with a fraction slash, radicals, n-ary operators and
// delimiters with their characters, matrix rows separated by semicolons.
void RtfReader::MathWord(std::string_view name) {
    GroupState& st = stack_.back();
    if (name.size() > 2 && name.substr(name.size() - 2) == "Pr") {
        if (st.dest == Dest::Text) st.dest = Dest::MathProps;
        return;
    }
    if (st.dest == Dest::MathProps) {
        const int role = name == "mchr" || name == "mbegChr" ? 0 : name == "mendChr" ? 1 : name == "msepChr" ? 2 : -1;
        if (role >= 0 && OpenFrame(FrameKind::MathChar, Dest::MathChar)) frames_.back().which = role;
        return;
    }
    if (st.dest != Dest::Text) return;

    static const std::unordered_map<std::string_view, MathKind> kObjects = {
        {"mnary", MathKind::Nary}, {"md", MathKind::Delimiter}, {"mrad", MathKind::Radical},
        {"mm", MathKind::Matrix}, {"mmr", MathKind::Row}, {"meqArr", MathKind::EqArray},
        {"mf", MathKind::Other}, {"msSub", MathKind::Other}, {"msSup", MathKind::Other},
        {"msSubSup", MathKind::Other}, {"msPre", MathKind::Other}, {"mfunc", MathKind::Other},
        {"macc", MathKind::Accent}, {"mbar", MathKind::Other}, {"mbox", MathKind::Other},
        {"mborderBox", MathKind::Other}, {"mgroupChr", MathKind::Other}, {"mlimLow", MathKind::Other},
        {"mlimUpp", MathKind::UpperLimit}, {"mphant", MathKind::Other},
    };
    if (auto object = kObjects.find(name); object != kObjects.end()) {
        Frame* outer = MathObject();
        if (object->second == MathKind::Row && outer && outer->math == MathKind::Matrix && outer->mathElements++ > 0)
            EmitText(u"; ");
        if (!OpenFrame(FrameKind::MathObject, Dest::Text)) return;
        st.mathObject = st.frame;
        Frame& frame = frames_.back();
        frame.math = object->second;
        if (frame.math == MathKind::Nary) frame.mathOpen = u"\u222B";
        if (frame.math == MathKind::Delimiter) frame.mathOpen = u"(", frame.mathClose = u")", frame.mathSeparator = u"|";
        if (frame.math == MathKind::Radical) frame.mathOpen = u"\u221A(", frame.mathClose = u")";
        if (frame.math == MathKind::Accent) frame.mathOpen = u"\u0302";  // a combining circumflex
        return;
    }
    Frame* object = MathObject();
    const bool element = name == "me";
    if (object && (element || name == "msub" || name == "msup")) {
        switch (object->math) {
            case MathKind::Nary:
                if (object->mathElements++ == 0) EmitText(object->mathOpen);
                break;
            case MathKind::Delimiter:
            case MathKind::Radical:
                if (!element) break;
                EmitText(object->mathElements++ == 0 ? object->mathOpen : object->mathSeparator);
                break;
            case MathKind::Row:
            case MathKind::EqArray:
                if (element && object->mathElements++ > 0) EmitText(object->math == MathKind::Row ? u"  " : u"; ");
                break;
            default: break;
        }
    }
    if (name == "msub" || name == "mlim") {
        const bool upperLimit = name == "mlim" && object && object->math == MathKind::UpperLimit;
        st.chr.verticalAlign = upperLimit ? VerticalAlign::Superscript : VerticalAlign::Subscript;
    }
    if (name == "msup" || name == "mnum" || name == "mdeg") st.chr.verticalAlign = VerticalAlign::Superscript;
    if (name == "mden") {
        EmitText(u"\u2044");
        st.chr.verticalAlign = VerticalAlign::Subscript;
    }
}

void RtfReader::StartDestination(W w) {
    GroupState& st = stack_.back();
    const bool text = st.dest == Dest::Text;
    switch (w) {
        case W::fonttbl: OpenFrame(FrameKind::FontTable, Dest::FontTable); break;
        case W::falt:
            if (st.dest == Dest::FontTable) OpenFrame(FrameKind::FontAlt, Dest::FontAlt);
            else st.dest = Dest::Skip;
            break;
        case W::colortbl: OpenFrame(FrameKind::ColorTable, Dest::ColorTable); break;
        case W::stylesheet: {
            OpenFrame(FrameKind::StyleSheet, Dest::StyleSheet);
            st.chr = CharFormat{};
            st.para = ParaState{};
            break;
        }
        case W::info: st.dest = Dest::Info; break;
        case W::title:
            if (st.dest == Dest::Info) OpenFrame(FrameKind::Title, Dest::Title);
            else st.dest = Dest::Skip;
            break;
        case W::field:
            // A field in another's code (GOTOBUTTON name {PAGEREF name}) is a word of its own.
            if (st.dest == Dest::FieldInst && !frames_.empty()) frames_.back().text.push_back(u' ');
            if (!text || !OpenFrame(FrameKind::Field, Dest::Text)) break;
            fields_.emplace_back();
            break;
        case W::fldinst:
            if (text && !fields_.empty()) OpenFrame(FrameKind::FieldInst, Dest::FieldInst);
            else st.dest = Dest::Skip;
            break;
        case W::fldrslt:
            if (!text || fields_.empty()) break;
            if (fields_.back().replacesResult) {
                st.dest = Dest::Skip;
                break;
            }
            st.chr.link = fields_.back().link;
            st.fieldKind = fields_.back().kind;
            st.fieldBookmark = fields_.back().bookmark;
            break;
        case W::bkmkstart:
            if (text) OpenFrame(FrameKind::Bookmark, Dest::Bookmark);
            else st.dest = Dest::Skip;
            break;
        case W::listtable: st.dest = Dest::ListTable; break;
        case W::list:
            if (st.dest == Dest::ListTable) {
                lists_.emplace_back();
                Charge(sizeof(ListDef));
            }
            break;
        case W::listlevel:
            if (st.dest == Dest::ListTable && !lists_.empty() && lists_.back().levels.size() < 9) {
                lists_.back().levels.emplace_back();
                Charge(sizeof(ListLevelDef));
            } else if (st.dest == Dest::ListOverrideTable && !overrides_.empty() && !overrides_.back().levels.empty()) {
                LevelOverride& level = overrides_.back().levels.back();
                level.format = true;
                level.level = ListLevelDef{};
                st.dest = Dest::ListOverrideLevel;
            }
            break;
        case W::leveltext:
            if (st.dest == Dest::ListTable || st.dest == Dest::ListOverrideLevel) {
                levelTextInOverride_ = st.dest == Dest::ListOverrideLevel;
                OpenFrame(FrameKind::LevelText, Dest::LevelText);
            } else {
                st.dest = Dest::Skip;
            }
            break;
        case W::levelnumbers: st.dest = Dest::Skip; break;
        case W::listoverridetable: st.dest = Dest::ListOverrideTable; break;
        case W::listoverride:
            if (st.dest == Dest::ListOverrideTable) {
                overrides_.emplace_back();
                Charge(sizeof(ListOverrideDef));
            }
            break;
        case W::listtext: case W::pntext:
            if (text) OpenFrame(FrameKind::ListText, Dest::ListText);
            else st.dest = Dest::Skip;
            break;
        case W::pn:
            if (!text) {
                st.dest = Dest::Skip;
                break;
            }
            OpenFrame(FrameKind::Pn, Dest::Pn);
            st.para.pn = true;
            break;
        case W::pntxta: case W::pntxtb:
            if (st.dest == Dest::Pn) OpenFrame(w == W::pntxtb ? FrameKind::PnBefore : FrameKind::PnAfter, Dest::PnText);
            else st.dest = Dest::Skip;
            break;
        case W::pict:
            if (st.dest == Dest::ShapeValue && shapePropName_ != u"pib") {
                st.dest = Dest::Skip;
                break;
            }
            if (!text && st.dest != Dest::ShapeValue) {
                st.dest = Dest::Skip;
                break;
            }
            if (OpenFrame(FrameKind::Picture, Dest::Picture)) pict_ = PictureBuild{};
            break;
        case W::shppict: break;  // read: the picture inside is the one to show
        case W::nonshppict: st.dest = Dest::Skip; break;
        case W::object: break;
        case W::result: break;   // an object's or a shape's stand-in: shown
        case W::shpgrp:
            // A group of shapes: its shapes are placed by the group's place and coordinates.
            // A group in a shape or in another group is not placed.
            st.inShape = true;
            if (shape_.open || group_.open || st.innerShape) st.innerShape = true;
            else if (text && st.frame < 0 && OpenFrame(FrameKind::ShapeGroup, Dest::Text)) {
                group_ = ShapeBuild{};
                group_.open = true;
            }
            break;
        case W::shp:
            st.inShape = true;
            if (shape_.open || st.innerShape) st.innerShape = true;
            else if (text && st.frame < 0 && OpenFrame(FrameKind::Shape, Dest::Text)) {
                ShapeProperty();  // the group's last property is the group's
                shape_ = ShapeBuild{};
                shape_.open = true;
                shape_.sink = sinks_.size() - 1;
                shape_.inlinesAtOpen = CurrentSink().para.content.size();
                shape_.deferredAtOpen = CurrentSink().deferred.size();
            }
            break;
        case W::shpinst: break;
        case W::shprslt:
            if (st.inShape) st.dest = Dest::Skip;
            break;
        case W::drawobj:
            // A Word 95 drawing object: a shape of its own kind, read like a shape (its text box,
            // \dptxbxtext, like a shape's).
            if (text && !shape_.open && st.frame < 0 && OpenFrame(FrameKind::Shape, Dest::Drawing)) {
                shape_ = ShapeBuild{};
                shape_.open = shape_.drawing = shape_.hasRect = true;
                shape_.wrap = 3;  // drawing objects stand in front of the text
                shape_.type = 0;
                shape_.sink = sinks_.size() - 1;
                shape_.inlinesAtOpen = CurrentSink().para.content.size();
                shape_.deferredAtOpen = CurrentSink().deferred.size();
                drawing_.groups = 0;
                drawing_.points.clear();
            } else {
                st.dest = text ? Dest::Drawing : Dest::Skip;
            }
            break;
        case W::dptxbxtext:
        case W::shptxt:
            // A text box: a shape's, or a drawing object's where the object stands in the text
            // (one found outside its object follows its paragraph, as a shape's that has no place).
            if (!text && !(w == W::dptxbxtext && st.dest == Dest::Drawing)) {
                st.dest = Dest::Skip;
                break;
            }
            if (!OpenFrame(FrameKind::Sink, Dest::Text)) break;
            frames_.back().sink = SinkKind::TextBox;
            sinks_.emplace_back();
            st.para = ParaState{};
            break;
        case W::sn:
            ShapeProperty();
            shapePropName_.clear();
            shapePropInner_ = st.innerShape;
            OpenFrame(FrameKind::ShapeName, Dest::ShapeName);
            break;
        case W::sv:
            st.dest = Dest::ShapeValue;
            shapeValue_.clear();
            // WordArt's text and face are read as text, the other values as numbers
            if ((shape_.open || group_.open) && !shapePropInner_ &&
                (shapePropName_ == u"gtextUNICODE" || shapePropName_ == u"gtextFont"))
                OpenFrame(FrameKind::ShapeText, Dest::ShapeText);
            break;
        case W::header: case W::headerl: case W::headerr: case W::headerf:
        case W::footer: case W::footerl: case W::footerr: case W::footerf: {
            if (!text || sinks_.size() != 1) {
                st.dest = Dest::Skip;
                break;
            }
            if (!OpenFrame(FrameKind::Sink, Dest::Text)) break;
            const bool header = w == W::header || w == W::headerl || w == W::headerr || w == W::headerf;
            frames_.back().sink = header ? SinkKind::Header : SinkKind::Footer;
            frames_.back().which = (w == W::headerl || w == W::footerl)   ? 1
                                   : (w == W::headerr || w == W::footerr) ? 2
                                   : (w == W::headerf || w == W::footerf) ? 3
                                                                          : 0;
            sinks_.emplace_back();
            st.para = ParaState{};
            break;
        }
        case W::footnote: {
            if (!text || sinks_.size() != 1) {
                st.dest = Dest::Skip;
                break;
            }
            if (!OpenFrame(FrameKind::Sink, Dest::Text)) break;
            const int index = static_cast<int>(doc_.notes.size());
            doc_.notes.emplace_back();
            Charge(sizeof(Note));
            // The reference mark (\chftn) just before belongs to this note. A note written without
            // one has a mark of the file's own (`{\super *}{\footnote {\super *} text}`, also
            // `#{\footnote TOC_0}`): it is neither numbered nor shown again, but is anchored where
            // it stands when it closes with some text, or it would have no line to go to the foot of.
            Sink& body = CurrentSink();
            if (body.pendingNoteRef >= 0 && static_cast<std::size_t>(body.pendingNoteRef) < body.para.content.size()) {
                body.para.content[static_cast<std::size_t>(body.pendingNoteRef)].note = index;
            } else {
                frames_.back().chr = st.chr;
                frames_.back().chrSet = true;
                doc_.notes.back().numbered = false;
            }
            body.pendingNoteRef = -1;
            frames_.back().sink = SinkKind::Note;
            frames_.back().which = index;
            sinks_.emplace_back();
            st.para = ParaState{};
            break;
        }
        case W::formfield:
            if (st.dest == Dest::FieldInst && !fields_.empty()) st.dest = Dest::FormField;
            else st.dest = Dest::Skip;
            break;
        case W::ffl:
            if (st.dest != Dest::FormField || !OpenFrame(FrameKind::FormItem, Dest::FormItem)) st.dest = Dest::Skip;
            break;
        case W::nesttableprops: st.inNestTableProps = true; break;
        case W::nonesttables: st.dest = Dest::Skip; break;
        case W::skipdest: st.dest = Dest::Skip; break;
        default: break;
    }
}

void RtfReader::CloseFrame(Frame& frame, GroupState& st) {
    switch (frame.kind) {
        case FrameKind::Plain: break;
        case FrameKind::FontTable: FinishFontEntry(); break;
        case FrameKind::FontAlt: fontEntry_.font.altName = frame.text; break;
        case FrameKind::ColorTable: break;
        case FrameKind::StyleSheet:
            FinishStyleEntry();
            ResolveStyles();
            break;
        case FrameKind::Title: doc_.title = frame.text; break;
        case FrameKind::FieldInst: FieldInstruction(frame.text, st.lang < 0 ? defaultLang_ : st.lang); break;
        case FrameKind::Bookmark: {
            // Opened only where text is shown: the bookmark marks the place it stands at.
            const int bookmark = BookmarkIndex(frame.text);
            if (bookmark >= 0) AppendInline(Inline::Kind::Bookmark, {}, bookmark);
            break;
        }
        case FrameKind::ListText: {
            Sink& sink = CurrentSink();
            sink.paraHasListText = true;
            const auto tab = frame.text.find(u'\t');
            sink.listText = frame.text.substr(0, tab);
            while (!sink.listText.empty() && sink.listText.back() == u' ') sink.listText.pop_back();
            sink.listTextFormat = frame.chrSet ? frame.chr : st.chr;
            break;
        }
        case FrameKind::LevelText:
            if (ListLevelDef* level = LevelBeingRead(levelTextInOverride_)) {
                // a length and a label's worth of characters
                level->text = frame.text.substr(0, 64);
                Charge(128);
            }
            break;
        case FrameKind::Picture: FinishPicture(st); break;
        case FrameKind::ShapeName: shapePropName_ = frame.text; break;
        case FrameKind::ShapeText:
            if (shape_.open || group_.open) {
                ShapeBuild& shape = shape_.open ? shape_ : group_;
                (shapePropName_ == u"gtextFont" ? shape.gtextFont : shape.gtext) = frame.text.substr(0, 256);
            }
            break;
        case FrameKind::FormItem:
            if (!fields_.empty() && fields_.back().formItems.size() < kMaxFormItems) {
                fields_.back().formItems.push_back(frame.text);
                Charge(sizeof(std::u16string) + frame.text.size() * 2);
            }
            break;
        case FrameKind::Shape: FinishShape(); break;
        case FrameKind::ShapeGroup:
            ShapeProperty();
            group_ = ShapeBuild{};
            break;
        case FrameKind::MathChar:
            if (Frame* object = MathObject()) {
                std::u16string& target = frame.which == 0   ? object->mathOpen
                                         : frame.which == 1 ? object->mathClose
                                                            : object->mathSeparator;
                target = frame.text.substr(0, 4);
            }
            break;
        case FrameKind::MathObject:
            if ((frame.math == MathKind::Delimiter || frame.math == MathKind::Radical) && frame.mathElements > 0)
                EmitText(frame.mathClose);
            if (frame.math == MathKind::Accent) EmitText(frame.mathOpen);  // the accent follows its base
            break;
        case FrameKind::PnBefore: case FrameKind::PnAfter:
            // The text around a number, "(" and ")" in "(a)"; a bullet's character is not taken
            // from here, as its font's encoding varies.
            if (stack_.size() >= 2) {
                ParaState& pn = stack_[stack_.size() - 2].para;
                (frame.kind == FrameKind::PnBefore ? pn.pnBefore : pn.pnAfter) = frame.text.substr(0, 32);
                pn.pnTextGiven = true;
            }
            break;
        case FrameKind::Pn:
            // {\pn ...} describes the paragraph it stands in.
            if (stack_.size() >= 2) {
                ParaState& outer = stack_[stack_.size() - 2].para;
                outer.pn = !st.para.pnCont;
                outer.pnCont = st.para.pnCont;
                outer.pnBullet = st.para.pnBullet;
                outer.pnType = st.para.pnType;
                outer.pnStart = st.para.pnStart;
                outer.pnLevel = st.para.pnLevel;
                outer.pnBefore = st.para.pnBefore;
                outer.pnAfter = st.para.pnAfter;
                outer.pnTextGiven = st.para.pnTextGiven;
                outer.pnAlign = st.para.pnAlign;
            }
            break;
        case FrameKind::Field: {
            const FieldState field = fields_.back();
            fields_.pop_back();
            if (field.resultSeen || st.dest != Dest::Text) break;
            if (field.kind == Inline::Kind::PageNumber || field.kind == Inline::Kind::PageCount ||
                field.kind == Inline::Kind::PageRef) {
                AppendInline(field.kind, {}, field.bookmark);
            } else if (field.symbol != 0) {
                const CharFormat saved = st.chr;
                if (field.symbolFont >= 0) st.chr.font = field.symbolFont;
                EmitChar(field.symbol);
                st.chr = saved;
            } else if (!field.equation.empty()) {
                EmitEquation(field.equation);
            } else if (!field.display.empty()) {
                FlushBytes();
                EmitText(field.display);
            } else if (field.formType == 1 || field.formType == 2) {
                EmitFormField(field);
            }
            break;
        }
        case FrameKind::Sink: {
            FinishSink();
            // A numbered note without text still shows its number at the foot of the page.
            if (frame.sink == SinkKind::Note && CurrentSink().blocks.empty() &&
                doc_.notes[static_cast<std::size_t>(frame.which)].numbered)
                FinishParagraph(false);
            Sink sink = std::move(sinks_.back());
            sinks_.pop_back();
            switch (frame.sink) {
                case SinkKind::Header: case SinkKind::Footer: {
                    HeaderFooter& hf = frame.sink == SinkKind::Header ? CurrentSection().headers
                                                                      : CurrentSection().footers;
                    Blocks* slot[] = {&hf.both, &hf.left, &hf.right, &hf.first};
                    *slot[frame.which] = std::move(sink.blocks);
                    // A header defined again replaces the old one: its size replaces the old
                    // size in what every later section is charged for its copy.
                    std::size_t& bytes = headerSlotBytes_[frame.sink == SinkKind::Header ? 0 : 1][frame.which];
                    headerBytes_ -= bytes;
                    bytes = used_ - std::min(used_, frame.usedAtOpen);
                    headerBytes_ += bytes;
                    break;
                }
                case SinkKind::Note:
                    if (frame.chrSet && !sink.blocks.empty()) {
                        Inline mark;
                        mark.kind = Inline::Kind::NoteRef;
                        mark.format = frame.chr;
                        mark.note = frame.which;
                        CurrentSink().para.content.push_back(std::move(mark));
                        Charge(sizeof(Inline));
                    }
                    doc_.notes[static_cast<std::size_t>(frame.which)].content = std::move(sink.blocks);
                    break;
                case SinkKind::TextBox: {
                    Sink& outer = CurrentSink();
                    for (auto& block : sink.blocks) outer.deferred.push_back(std::move(block));
                    break;
                }
            }
            break;
        }
    }
}

void RtfReader::FontTableText(std::u16string_view text) {
    for (char16_t c : text) {
        if (c == u';') {
            FinishFontEntry();
        } else if (fontEntry_.open && fontEntry_.name.size() < 256) {
            fontEntry_.name.push_back(c);
        }
    }
}

void RtfReader::FinishFontEntry() {
    if (!fontEntry_.open) return;
    Font font = fontEntry_.font;
    std::u16string name = fontEntry_.name;
    while (!name.empty() && name.back() == u' ') name.pop_back();
    while (!name.empty() && name.front() == u' ') name.erase(name.begin());
    if (!name.empty()) font.name = name;
    if (!fontEntry_.charsetGiven) {
        // Older writers name a font's character set only in its name, "Arial CE", "Times New
        // Roman Cyr", as Windows' font aliases do.
        static constexpr std::pair<std::u16string_view, int> kSuffixes[] = {
            {u" CE", 238}, {u" Cyr", 204}, {u" Greek", 161}, {u" Tur", 162}, {u" Baltic", 186},
            {u" (Hebrew)", 177}, {u" (Arabic)", 178}, {u" (Vietnamese)", 163},
        };
        for (const auto& [suffix, charset] : kSuffixes) {
            if (name.size() > suffix.size() && name.ends_with(suffix)) {
                font.charset = charset;
                fontEntry_.codePage = CodePageOfCharset(charset);
                break;
            }
        }
    }
    const int index = static_cast<int>(doc_.fonts.size());
    doc_.fonts.push_back(std::move(font));
    fontCodePage_.push_back(fontEntry_.codePage);
    fontByNumber_[fontEntry_.number] = index;
    fontByName_.try_emplace(doc_.fonts.back().name, index);
    Charge(sizeof(Font) + 64);
    if (fontEntry_.number == defaultFontNumber_) doc_.defaultFont = index;
    fontEntry_ = FontEntry{};
}

// A style's name ends its entry. Names are only kept to find the style line numbers are drawn
// in, which word processors call "Line Number" ("line number" in newer files).
void RtfReader::StyleSheetText(std::u16string_view text) {
    constexpr std::u16string_view kLineNumber = u"LINE NUMBER";
    for (char16_t c : text) {
        if (c != u';') {
            if (styleName_.size() <= kLineNumber.size()) styleName_.push_back(c);
            continue;
        }
        while (!styleName_.empty() && styleName_.front() == u' ') styleName_.erase(0, 1);
        if (styleEntryOpen_ && AsciiUpper(styleName_) == kLineNumber) lineNumberStyle_ = styles_.size();
        styleName_.clear();
        FinishStyleEntry();
    }
}

void RtfReader::FinishStyleEntry() {
    if (!styleEntryOpen_) return;
    styleEntryOpen_ = false;
    auto& byNumber = styleEntry_.character ? charStyleByNumber_ : paraStyleByNumber_;
    byNumber[styleEntry_.number] = styles_.size();
    Charge(sizeof(StyleDef) + styleEntry_.tokens.size() * sizeof(std::pair<W, int>) + 64);
    styles_.push_back(std::move(styleEntry_));
    styleEntry_ = StyleDef{};
}

// Each paragraph style's formats: the defaults, then the words of the styles it is based on
// (oldest first, at most eight deep), then its own.
void RtfReader::ResolveStyles() {
    for (std::size_t k = resolvedStyles_; k < styles_.size(); ++k) {
        StyleDef& style = styles_[k];
        std::vector<const StyleDef*> chain{&style};
        const StyleDef* at = &style;
        while (at->basedOn >= 0 && chain.size() < 8) {
            auto it = paraStyleByNumber_.find(at->basedOn);
            if (it == paraStyleByNumber_.end() || &styles_[it->second] == at) break;
            at = &styles_[it->second];
            chain.push_back(at);
        }
        GroupState scratch;
        const GroupState fresh;
        const BorderTarget saved = borderTarget_;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            for (const auto& [word, param] : (*it)->tokens) {
                ApplyFormat(scratch, word, param);
                if (style.character) continue;
                // Paragraph words are left out; a word that changes nothing on its own
                // (\b0, \ql) is kept, as it may undo a character format.
                GroupState probe;
                ApplyFormat(probe, word, param);
                const bool paragraphWord = probe.chr == fresh.chr && !(probe.para.format == fresh.para.format);
                if (!paragraphWord) style.charTokens.emplace_back(word, param);
            }
        }
        borderTarget_ = saved;
        Charge(style.charTokens.size() * sizeof(std::pair<W, int>));
        style.chr = scratch.chr;
        style.para = scratch.para;
        style.para.itap = 0;
    }
    resolvedStyles_ = styles_.size();
}

// HYPERLINK "target" [\l "bookmark"], PAGE, NUMPAGES; other fields show their result.
void RtfReader::FieldInstruction(const std::u16string& code, int lang) {
    FieldState& field = fields_.back();
    if (auto today = field.locked ? std::nullopt : DateFieldResult(code, now_, lang)) {
        // Word works DATE and TIME out again on opening: the stored result is the day of saving.
        field.display = std::move(*today);
        field.replacesResult = true;
        return;
    }
    std::vector<std::u16string> words;
    std::vector<bool> quoted;
    std::size_t afterSecond = code.size();  // where the code goes on after its second word
    std::size_t k = 0;
    while (k < code.size() && words.size() < 16) {
        if (words.size() == 2) afterSecond = k;
        while (k < code.size() && (code[k] == u' ' || code[k] == u'\t')) ++k;
        if (k >= code.size()) break;
        std::u16string word;
        if (code[k] == u'"') {
            ++k;
            while (k < code.size() && code[k] != u'"') word.push_back(code[k++]);
            ++k;
            quoted.push_back(true);
        } else {
            while (k < code.size() && code[k] != u' ' && code[k] != u'\t') word.push_back(code[k++]);
            quoted.push_back(false);
        }
        words.push_back(std::move(word));
    }
    if (words.empty()) return;
    std::u16string type = AsciiUpper(words[0]);
    if (type.size() > 1 && type[0] == u'\\') type.erase(0, 1);  // "\PAGE", as some writers put it
    if (type == u"PAGE") {
        field.kind = Inline::Kind::PageNumber;
    } else if (type == u"NUMPAGES" || type == u"SECTIONPAGES") {
        field.kind = Inline::Kind::PageCount;
    } else if (type == u"GOTOBUTTON" || type == u"MACROBUTTON") {
        // GOTOBUTTON target text, MACROBUTTON macro text: the rest of the code is what the
        // button shows (old tables of contents put their page numbers there, as a field).
        // A formatting switch (\* MERGEFORMAT) is not part of the text.
        if (words.size() < 2 || (!quoted[1] && !words[1].empty() && words[1][0] == u'\\')) return;
        std::size_t from = afterSecond, to = std::min(code.find(u"\\*", afterSecond), code.size());
        while (from < to && (code[from] == u' ' || code[from] == u'\t')) ++from;
        while (to > from && (code[to - 1] == u' ' || code[to - 1] == u'\t')) --to;
        field.display = code.substr(from, to - from);
    } else if (type == u"PAGEREF") {
        // PAGEREF name [\h] [\p]: the page the bookmark is on
        for (std::size_t w = 1; w < words.size(); ++w) {
            if (!quoted[w] && !words[w].empty() && words[w][0] == u'\\') continue;
            field.bookmark = BookmarkIndex(words[w]);
            if (field.bookmark >= 0) field.kind = Inline::Kind::PageRef;
            break;
        }
    } else if (type == u"SYMBOL" && words.size() >= 2) {
        // SYMBOL N [\f "font"] [\u]: character N of the font (Unicode with \u)
        int n = 0;
        for (char16_t ch : words[1]) {
            if (ch < u'0' || ch > u'9' || n > 0x10FFFF) break;
            n = n * 10 + (ch - u'0');
        }
        if (n <= 0 || n > 0x10FFFF || (n >= 0xD800 && n <= 0xDFFF)) return;
        field.symbol = static_cast<char32_t>(n);
        for (std::size_t w = 2; w + 1 < words.size(); ++w) {
            if (!quoted[w] && (words[w] == u"\\f" || words[w] == u"\\F")) {
                auto font = fontByName_.find(words[w + 1]);
                if (font != fontByName_.end()) field.symbolFont = font->second;
            }
        }
    } else if (type == u"EQ") {
        field.equation = code;
        Charge(code.size() * 2);
    } else if (type == u"HYPERLINK") {
        std::u16string target, bookmark;
        for (std::size_t w = 1; w < words.size(); ++w) {
            if (!quoted[w] && (words[w] == u"\\l" || words[w] == u"\\L") && w + 1 < words.size()) {
                bookmark = words[++w];
            } else if (!quoted[w] && !words[w].empty() && words[w][0] == u'\\') {
                if (words[w].size() == 2 && w + 1 < words.size() && quoted[w + 1]) ++w;  // \o "tip", \t "frame"
            } else if (target.empty()) {
                target = words[w];
            }
        }
        if (!bookmark.empty()) target += u"#" + bookmark;
        if (target.empty()) return;
        field.link = static_cast<int>(doc_.links.size());
        doc_.links.push_back(Link{std::move(target)});
        Charge(sizeof(Link) + code.size() * 2);
    }
}

// An EQ field's result, worked out from its code in the field's own format: limits and
// indices as sub- and superscripts, \s\up and \s\do raised and lowered at full size.
void RtfReader::EmitEquation(std::u16string_view code) {
    GroupState& st = stack_.back();
    const CharFormat saved = st.chr;
    for (const EqPiece& piece : EvaluateEq(code)) {
        st.chr = saved;
        if (piece.position == EqPiece::Position::Super) st.chr.verticalAlign = VerticalAlign::Superscript;
        if (piece.position == EqPiece::Position::Sub) st.chr.verticalAlign = VerticalAlign::Subscript;
        st.chr.offsetHalfPoints += piece.raiseHalfPoints;
        if (piece.ruby.empty() || st.dest != Dest::Text) {
            EmitText(piece.text);
            continue;
        }
        // a word with its reading: one item, the reading kept beside the document's text
        FlushBytes();
        AppendInline(Inline::Kind::Ruby, piece.text);
        CurrentSink().para.content.back().note = static_cast<int>(doc_.rubies.size());
        doc_.rubies.push_back(Ruby{piece.ruby, std::clamp(piece.rubyHalfPoints, 0, kMaxFontHalfPoints)});
        Charge(sizeof(Ruby) + piece.ruby.size() * 2);
    }
    st.chr = saved;
}

// What a form field shows where the file stores no result: a check box as a ballot box, empty
// or crossed, at its own size where it has one; a drop-down list its chosen entry.
void RtfReader::EmitFormField(const FieldState& field) {
    const int chosen = field.formResult == 25 ? field.formDefault : field.formResult;
    GroupState& st = stack_.back();
    if (field.formType == 1) {
        const CharFormat saved = st.chr;
        if (field.formExactSize && field.formSizeHalfPoints > 0) st.chr.sizeHalfPoints = field.formSizeHalfPoints;
        EmitChar(chosen == 1 ? 0x2612 : 0x2610);
        st.chr = saved;
    } else if (chosen >= 0 && static_cast<std::size_t>(chosen) < field.formItems.size()) {
        EmitText(field.formItems[static_cast<std::size_t>(chosen)]);
    }
}

void RtfReader::PictureHex(std::string_view bytes) {
    auto& p = pict_;
    if (p.tooLarge) return;
    for (char c : bytes) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else continue;
        if (p.nibble < 0) {
            p.nibble = v;
        } else {
            p.data.push_back(static_cast<std::uint8_t>(p.nibble * 16 + v));
            p.nibble = -1;
        }
    }
    if (p.data.size() > limits_.maxPictureBytes) {
        p.tooLarge = true;
        p.data.clear();
        p.data.shrink_to_fit();
    }
}

void RtfReader::FinishPicture(const GroupState& st) {
    auto& p = pict_;
    if (p.tooLarge || p.data.empty()) return;
    // PNG keeps its pixel size in its header: use it when the file gives none.
    if (p.picture.kind == Picture::Kind::Png && (p.picture.width <= 0 || p.picture.height <= 0) &&
        p.data.size() >= 24 && std::memcmp(p.data.data() + 12, "IHDR", 4) == 0) {
        auto be32 = [&](std::size_t at) {
            return (std::uint32_t(p.data[at]) << 24) | (std::uint32_t(p.data[at + 1]) << 16) |
                   (std::uint32_t(p.data[at + 2]) << 8) | std::uint32_t(p.data[at + 3]);
        };
        p.picture.width = static_cast<int>(std::min<std::uint32_t>(be32(16), 1u << 20));
        p.picture.height = static_cast<int>(std::min<std::uint32_t>(be32(20), 1u << 20));
    }
    // A metafile is played by the platform as it stands: only its sound records go on. One
    // with no sound frame keeps its place on the page, empty.
    if (p.picture.kind == Picture::Kind::Emf) {
        CleanEmf(p.data);
    } else if (p.picture.kind == Picture::Kind::Wmf) {
        std::vector<std::uint8_t> emf;
        if (EmbeddedEmf(p.data, emf) && CleanEmf(emf)) {
            p.picture.kind = Picture::Kind::Emf;  // the drawing as it was made, as the platform takes it
            p.data = std::move(emf);
        } else {
            CleanWmf(p.data);
        }
    }
    Charge(p.data.size() + sizeof(Picture) + sizeof(Inline));
    if (stop_) return;
    auto picture = std::make_shared<Picture>(p.picture);
    picture->data = std::make_shared<const std::vector<std::uint8_t>>(std::move(p.data));
    p = PictureBuild{};
    Inline item;
    item.kind = Inline::Kind::Picture;
    item.format = st.chr;
    item.picture = std::move(picture);
    CurrentSink().para.content.push_back(std::move(item));
}

// ---------------------------------------------------------------- paragraphs and tables

ListLevelDef* RtfReader::LevelBeingRead(bool inOverride) {
    if (inOverride) {
        if (overrides_.empty() || overrides_.back().levels.empty()) return nullptr;
        return &overrides_.back().levels.back().level;
    }
    if (lists_.empty() || lists_.back().levels.empty()) return nullptr;
    return &lists_.back().levels.back();
}

// Works out the paragraph's list label, and how it stands before the text (out's listLabelFollow
// and listLabelAlign). A list paragraph's label is counted from the list's levels, as word
// processors show it: \listtext, the label as the writer last showed it, gives its character
// format, and its text only where the list cannot give one.
std::u16string RtfReader::ListLabel(const ParaState& para, CharFormat& format, ParaFormat& out) {
    Sink& sink = CurrentSink();
    std::u16string label;
    bool haveLabel = false, fromList = false, formatGiven = false;
    if (sink.paraHasListText) {
        label = sink.listText;
        // A \listtext that sets nothing after its \plain (as LibreOffice writes it) says nothing
        // of the label's format: the label is formatted as when there is none, from the
        // paragraph mark and the list level.
        CharFormat plain;
        plain.link = sink.listTextFormat.link;
        formatGiven = !(sink.listTextFormat == plain);
        if (formatGiven) format = sink.listTextFormat;
        haveLabel = true;
    }
    // \ls0 is no list, unless the file defines an override numbered 0 (as some writers do).
    const auto found = para.ls >= 0 ? overrideByLs_.find(para.ls) : overrideByLs_.end();
    if (found != overrideByLs_.end()) {
        const ListOverrideDef& entry = overrides_[found->second];
        const auto byId = listById_.find(entry.listId);
        const ListDef* list = byId != listById_.end() ? &lists_[byId->second] : nullptr;
        // The level in force: the override's format, else the list's.
        const auto levelAt = [&](std::size_t lvl) -> const ListLevelDef* {
            if (lvl < entry.levels.size() && entry.levels[lvl].format) return &entry.levels[lvl].level;
            if (list != nullptr && lvl < list->levels.size()) return &list->levels[lvl];
            return nullptr;
        };
        const auto startOf = [&](std::size_t lvl) {
            if (lvl < entry.levels.size() && entry.levels[lvl].startAt && entry.levels[lvl].start >= 0)
                return entry.levels[lvl].start;
            return levelAt(lvl)->start;
        };
        const std::size_t ilvl = static_cast<std::size_t>(para.ilvl);
        if (const ListLevelDef* level = levelAt(ilvl)) {
            // Counters per list and level; kNoParam: not counted yet (the next is the start).
            // An override that restarts or redefines levels counts on its own.
            const bool ownCounters = !entry.levels.empty() || list == nullptr;
            auto [it, inserted] = listCounters_.try_emplace({ownCounters, ownCounters ? para.ls : list->id});
            if (inserted) it->second.fill(kNoParam);
            auto& counters = it->second;
            out.listLabelFollow = level->follow;  // the list's own rule, also where \listtext wrote a tab
            out.listLabelAlign = level->align;
            fromList = true;
            // The level text: its length, then characters and the placeholders (0-8) of levels.
            const std::size_t length =
                level->text.empty() ? 0 : std::min<std::size_t>(level->text[0], level->text.size() - 1);
            // A label showing a level above that has had no item yet shows that level's start,
            // and the level counts as begun there: word processors number "1.1", then "2".
            for (std::size_t k = 1; k <= length; ++k) {
                const char16_t up = level->text[k];
                if (up < ilvl && counters[up] == kNoParam && levelAt(up) != nullptr) counters[up] = startOf(up);
            }
            counters[ilvl] = counters[ilvl] == kNoParam ? startOf(ilvl) : std::min(counters[ilvl] + 1, 1 << 24);
            for (std::size_t deeper = ilvl + 1; deeper < 9; ++deeper) {
                const ListLevelDef* next = levelAt(deeper);
                if (next == nullptr || !next->noRestart) counters[deeper] = kNoParam;
            }
            if (!level->text.empty()) {
                label.clear();
                for (std::size_t k = 1; k <= length; ++k) {
                    const char16_t ch = level->text[k];
                    if (ch >= 9) {
                        label.push_back(ch);
                    } else if (const ListLevelDef* numbered = levelAt(ch)) {
                        const int n = counters[ch] == kNoParam ? startOf(ch) : counters[ch];
                        label += FormatNumber(n, level->legal && ch != ilvl ? Numbering::Decimal : numbered->numbering);
                    }
                }
                if (!formatGiven) {
                    format = stack_.back().chr;
                    if (level->font >= 0) format.font = level->font;
                }
                haveLabel = true;
            }
        }
    }
    if (para.pn && !fromList) out.listLabelAlign = para.pnAlign;
    if (para.pn && !para.pnBullet) pnCounter_ = lastParaHadPn_ ? pnCounter_ + 1 : para.pnStart;
    if (!haveLabel && para.pn) {
        if (para.pnBullet)
            label = u"\u2022";
        else if (para.pnTextGiven)
            label = para.pnBefore + FormatNumber(pnCounter_, para.pnType) + para.pnAfter;
        else
            label = FormatNumber(pnCounter_, para.pnType) + u".";
        format = stack_.back().chr;
        haveLabel = true;
    }
    lastParaHadPn_ = (para.pn && !para.pnBullet) || (para.pnCont && lastParaHadPn_);
    NormalizeBullets(label);
    if (label.size() > 64) label.resize(64);
    return label;
}

RowDef& RtfReader::RowDefAt(int level) {
    level = std::clamp(level, 1, limits_.maxTableDepth);
    if (rowDefs_.size() <= static_cast<std::size_t>(level)) rowDefs_.resize(static_cast<std::size_t>(level) + 1);
    return rowDefs_[static_cast<std::size_t>(level)];
}

int RtfReader::RowLevel(const GroupState& st) const {
    return st.inNestTableProps ? std::max(2, st.para.itap) : 1;
}

void RtfReader::CloseTableLevel(Sink& sink) {
    TableLevel level = std::move(sink.tables.back());
    sink.tables.pop_back();
    Blocks& parent = sink.tables.empty() ? sink.blocks : sink.tables.back().content;
    if (!level.cells.empty()) {
        // cells without a closing \row: keep them as a row
        TableRow row;
        row.cells = std::move(level.cells);
        level.table.rows.push_back(std::move(row));
    }
    if (!level.table.rows.empty()) parent.push_back(Block{std::move(level.table)});
    for (auto& block : level.content) parent.push_back(std::move(block));
}

void RtfReader::SetTableDepth(Sink& sink, int depth) {
    depth = std::clamp(depth, 0, limits_.maxTableDepth);
    while (static_cast<int>(sink.tables.size()) > depth) CloseTableLevel(sink);
    while (static_cast<int>(sink.tables.size()) < depth) {
        sink.tables.emplace_back();
        Charge(sizeof(TableLevel));
    }
}

void RtfReader::PlaceBlock(Sink& sink, Block block, int itap) {
    SetTableDepth(sink, itap);
    Blocks& blocks = sink.tables.empty() ? sink.blocks : sink.tables.back().content;
    // The list's growth is counted as it happens: a long run of paragraphs costs up to twice
    // their size while the list is moved.
    if (blocks.size() == blocks.capacity()) {
        Charge(std::max<std::size_t>(blocks.capacity(), 1) * sizeof(Block));
        if (stop_) return;
    }
    blocks.push_back(std::move(block));
}

// Ends the paragraph being read with the paragraph format in force (RTF applies the format
// at the paragraph mark) and places it in the body, the cell being read, ...
void RtfReader::FinishParagraph(bool pageBreakAfter) {
    ++paragraphsFinished_;
    Sink& sink = CurrentSink();
    const GroupState& st = stack_.back();
    Paragraph para = std::move(sink.para);
    sink.para = Paragraph{};
    // A footnote mark whose note never came shows nothing.
    std::erase_if(para.content, [](const Inline& item) { return item.kind == Inline::Kind::NoteRef && item.note < 0; });
    ParaFormat format = st.para.format;
    format.style = st.para.style;
    if (sink.breakBefore) format.pageBreakBefore = true;
    format.shading = Shade(st.para.shadingColor, st.para.patternColor, st.para.shading);
    CharFormat labelFormat = st.chr;
    format.listLabel = ListLabel(st.para, labelFormat, format);
    if (!format.listLabel.empty()) format.listLabelFormat = labelFormat;
    para.format = SharedFormat(std::move(format));
    para.endFormat = st.chr;
    para.pageBreakAfter = pageBreakAfter;
    para.breakMarkBefore = sink.breakBefore;
    sink.paraHasListText = false;
    sink.listText.clear();
    sink.breakBefore = false;
    sink.pendingNoteRef = -1;
    int itap = st.para.itap;
    // A paragraph that is not marked as in the table but comes between cells of a row that has
    // not ended (`A\cell \pard C\par \cell\row`) belongs to the row's next cell, as in Word.
    if (itap == 0 && !sink.tables.empty() && !sink.tables.back().cells.empty())
        itap = static_cast<int>(sink.tables.size());
    // Placed shapes go before their paragraph, which flows around them, in a table cell too.
    auto place = [&](Block block) { PlaceBlock(sink, std::move(block), itap); };
    if (!sink.floating.empty()) TakeFloating(sink, place);
    PlaceBlock(sink, Block{std::move(para)}, itap);
    if (!sink.deferred.empty()) {
        for (auto& block : sink.deferred) PlaceBlock(sink, std::move(block), itap);
        sink.deferred.clear();
    }
}

// `format` shared with an earlier paragraph that has the same: paragraphs near each other
// mostly repeat one of a few formats (body text, code lines, empty table cells).
SharedParaFormat RtfReader::SharedFormat(ParaFormat format) {
    for (const auto& recent : recentFormats_) {
        if (recent && *recent == format) return SharedParaFormat(recent);
    }
    Charge(sizeof(ParaFormat) + format.tabs.size() * sizeof(TabStop) + format.listLabel.size() * sizeof(char16_t));
    auto shared = std::make_shared<const ParaFormat>(std::move(format));
    recentFormats_[nextRecentFormat_] = shared;
    nextRecentFormat_ = (nextRecentFormat_ + 1) % recentFormats_.size();
    return SharedParaFormat(std::move(shared));
}

void RtfReader::EndCell(int level) {
    Sink& sink = CurrentSink();
    level = std::clamp(level, 1, limits_.maxTableDepth);
    // The cell's last paragraph ends here, at the cell's own level.
    GroupState& st = stack_.back();
    const int itap = st.para.itap;
    st.para.itap = level;
    FinishParagraph(false);
    st.para.itap = itap;
    TableLevel& t = sink.tables.back();
    TableCell cell;
    cell.content = std::move(t.content);
    t.content.clear();
    t.cells.push_back(std::move(cell));
    Charge(sizeof(TableCell));
}

void RtfReader::EndRow(int level) {
    Sink& sink = CurrentSink();
    level = std::clamp(level, 1, limits_.maxTableDepth);
    // Text between the last \cell and \row: keep it as one more cell.
    if (!sink.para.content.empty()) EndCell(level);
    SetTableDepth(sink, level);
    sink.para = Paragraph{};
    sink.paraHasListText = false;
    TableLevel& t = sink.tables.back();
    if (!t.content.empty()) {
        // Blocks with no \cell after them (a nested table closed by this \row): a last cell.
        TableCell cell;
        cell.content = std::move(t.content);
        t.content.clear();
        t.cells.push_back(std::move(cell));
        Charge(sizeof(TableCell));
    }
    if (t.cells.empty()) return;
    const RowDef& def = RowDefAt(level);
    TableRow row = def.row;
    int* pads[] = {&row.paddingLeft, &row.paddingTop, &row.paddingRight, &row.paddingBottom};
    for (std::size_t side = 0; side < 4; ++side)
        if (def.padIgnored[side]) *pads[side] = -1;
    row.cells = std::move(t.cells);
    t.cells.clear();
    int edge = row.leftOffset;
    for (std::size_t k = 0; k < row.cells.size(); ++k) {
        TableCell& cell = row.cells[k];
        if (k < def.cells.size()) {
            const CellDef& cd = def.cells[k];
            Blocks content = std::move(cell.content);
            cell = cd.cell;
            cell.content = std::move(content);
            cell.shading = Shade(cd.shadingColor, cd.patternColor, cd.shading);
            edge = cell.rightEdge;
        } else {
            edge += 1440;  // more cells than definitions: an inch each
            cell.rightEdge = edge;
        }
    }
    t.table.rows.push_back(std::move(row));
    Charge(sizeof(TableRow));
}

// Places what the current sink still holds: its last paragraph when it has content (a final
// \par leaves an empty one, which is not shown), open tables, text boxes.
void RtfReader::FinishSink() {
    Sink& s = CurrentSink();
    if (!s.para.content.empty() || s.paraHasListText || s.breakBefore) FinishParagraph(false);
    SetTableDepth(s, 0);
    TakeFloating(s, [&](Block block) { s.blocks.push_back(std::move(block)); });
    for (auto& block : s.deferred) s.blocks.push_back(std::move(block));
    s.deferred.clear();
}

void RtfReader::EndSection(bool startNew) {
    FinishSink();
    Sink& body = sinks_.front();
    CurrentSection().body = std::move(body.blocks);
    body.blocks.clear();
    if (!startNew) return;
    // A new section keeps the format and the headers and footers of the one before.
    Section next;
    const Section& previous = CurrentSection();
    next.breakBefore = previous.breakBefore;
    next.columns = previous.columns;
    next.columnSpace = previous.columnSpace;
    next.lineBetween = previous.lineBetween;
    next.columnDefs = previous.columnDefs;
    next.titlePage = previous.titlePage;
    next.headerDistance = previous.headerDistance;
    next.footerDistance = previous.footerDistance;
    next.headers = previous.headers;
    next.footers = previous.footers;
    next.lineNumbers = previous.lineNumbers;
    next.marginLeft = previous.marginLeft;
    next.marginRight = previous.marginRight;
    next.marginTop = previous.marginTop;
    next.marginBottom = previous.marginBottom;
    next.pageWidth = previous.pageWidth;
    next.pageHeight = previous.pageHeight;
    Charge(sizeof(Section) + headerBytes_);
    if (stop_) return;
    doc_.sections.push_back(std::move(next));
}

void RtfReader::Finish() {
    // An unclosed header, note or text box at the end of a cut-off file is dropped.
    while (sinks_.size() > 1) sinks_.pop_back();
    const bool wasStopped = stop_;
    stop_ = false;
    used_ = 0;  // what is left to place is already counted
    // A page break at the very end leads to a page of its own: a document ends with a
    // paragraph mark, which the break puts on a new page, as word processors show and print it.
    if (Sink& body = sinks_.front(); body.para.content.empty() && !body.paraHasListText && !body.breakBefore &&
                                     body.tables.empty() && !body.blocks.empty()) {
        const auto* last = std::get_if<Paragraph>(&body.blocks.back().value);
        if (last && last->pageBreakAfter) FinishParagraph(false);
    }
    EndSection(false);
    if (wasStopped) stop_ = true;
    // A \sect at the very end opens a section with nothing in it: no page for it.
    if (doc_.sections.size() > 1 && doc_.sections.back().body.empty()) doc_.sections.pop_back();
    // Notes are numbered in order, footnotes and endnotes each on their own.
    int footnotes = footnoteStart_ - 1, endnotes = endnoteStart_ - 1;
    for (auto& note : doc_.notes) {
        if (!note.numbered) continue;
        note.mark = note.endnote ? FormatNumber(++endnotes, endnoteNumbering_)
                                 : FormatNumber(++footnotes, footnoteNumbering_);
    }
    if (doc_.defaultFont < 0 && defaultFontNumber_ >= 0) doc_.defaultFont = FontIndex(defaultFontNumber_);
    // Line numbers stand in a normal paragraph's format with the Line Number character style's
    // words on top (a paragraph style of that name gives its own format).
    if (auto normal = paraStyleByNumber_.find(0); normal != paraStyleByNumber_.end())
        doc_.lineNumberFormat = styles_[normal->second].chr;
    if (lineNumberStyle_ < styles_.size() && !styles_[lineNumberStyle_].character) {
        doc_.lineNumberFormat = styles_[lineNumberStyle_].chr;
    } else if (lineNumberStyle_ < styles_.size()) {
        GroupState scratch;
        scratch.chr = doc_.lineNumberFormat;
        const BorderTarget saved = borderTarget_;
        for (const auto& [word, param] : styles_[lineNumberStyle_].tokens) ApplyFormat(scratch, word, param);
        borderTarget_ = saved;
        doc_.lineNumberFormat = scratch.chr;
    }
    for (auto& section : doc_.sections) {
        ApplyNeighbourSpacing(section.body);
        for (HeaderFooter* hf : {&section.headers, &section.footers})
            for (Blocks* blocks : {&hf->both, &hf->left, &hf->right, &hf->first}) ApplyNeighbourSpacing(*blocks);
    }
    for (auto& note : doc_.notes) ApplyNeighbourSpacing(note.content);
}

// Works out the space between paragraphs that depends on their neighbours:
// - Automatic spacing (\sbauto1 \saauto1) counts only where the document asks for HTML spacing
//   (\htmautsp, as Word writes); elsewhere \sb and \sa stand, as Word writes them beside it.
//   It is 14 points and collapses like the margins of HTML paragraphs: none before the first
//   paragraph of a body or cell or after the last of a cell, one 14 points between two
//   paragraphs that both ask for it, and none between two list items, like an HTML list's.
// - Paragraphs that ask for no space between them and their neighbours of the same style
//   (\contextualspace, as in list paragraphs) lose that space before and after.
// Table cells alike.
void RtfReader::ApplyNeighbourSpacing(Blocks& blocks, int depth) {
    if (depth > limits_.maxTableDepth) return;
    constexpr int kAutoSpace = 280;
    auto paragraphAt = [&](std::size_t i) -> const Paragraph* {
        return i < blocks.size() ? std::get_if<Paragraph>(&blocks[i].value) : nullptr;
    };
    auto isListItem = [](const Paragraph* p) { return p != nullptr && !p->format->listLabel.empty(); };
    int previousStyle = -1;  // -1: no paragraph just before
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (auto* table = std::get_if<Table>(&blocks[i].value)) {
            for (auto& row : table->rows)
                for (auto& cell : row.cells) ApplyNeighbourSpacing(cell.content, depth + 1);
            previousStyle = -1;
            continue;
        }
        auto& p = std::get<Paragraph>(blocks[i].value);
        const Paragraph* previous = i > 0 ? paragraphAt(i - 1) : nullptr;
        const Paragraph* next = paragraphAt(i + 1);
        const int nextStyle = next != nullptr ? next->format->style : -1;
        const ParaFormat& own = *p.format;
        const bool listItem = isListItem(&p);
        int spaceBefore = own.spaceBefore, spaceAfter = own.spaceAfter;
        if (htmlAutoSpacing_ && own.autoSpaceBefore) {
            const bool collapsed = previous != nullptr && previous->format->autoSpaceAfter;
            spaceBefore = i == 0 || collapsed || (listItem && isListItem(previous)) ? 0 : kAutoSpace;
        }
        if (htmlAutoSpacing_ && own.autoSpaceAfter)
            spaceAfter = (depth > 0 && i + 1 == blocks.size()) || (listItem && isListItem(next)) ? 0 : kAutoSpace;
        if (own.contextualSpacing && previousStyle == own.style) spaceBefore = 0;
        if (own.contextualSpacing && nextStyle == own.style) spaceAfter = 0;
        previousStyle = own.style;
        if (spaceBefore != own.spaceBefore || spaceAfter != own.spaceAfter) {
            ParaFormat changed = own;  // (`own` goes with the format it replaces)
            changed.spaceBefore = spaceBefore;
            changed.spaceAfter = spaceAfter;
            p.format = SharedFormat(std::move(changed));
        }
    }
}

// ---------------------------------------------------------------- words

// A paragraph word between the entries of a font table or style sheet whose entries are
// groups: the table's closing brace is missing (a damaged file), and the body has begun. The
// table, and the tables around it that are open with it, end here, and the body is read on
// in the state of the group around them, instead of being lost in them. False (nothing
// changed) when the open groups do not hold their tables' frames in order.
bool RtfReader::EndUnclosedTables() {
    auto isTable = [](Dest d) {
        return d == Dest::FontTable || d == Dest::FontAlt || d == Dest::StyleSheet || d == Dest::ColorTable;
    };
    std::size_t outside = stack_.size() - 1;
    while (outside > 1 && isTable(stack_[outside].dest)) --outside;
    std::size_t frames = frames_.size();
    for (std::size_t i = stack_.size() - 1; i > outside; --i) {
        if (stack_[i].frame < 0) continue;
        if (frames == 0 || static_cast<std::size_t>(stack_[i].frame) != frames - 1) return false;
        --frames;
    }
    for (std::size_t i = stack_.size() - 1; i > outside; --i) {
        if (stack_[i].frame >= 0) {
            Frame frame = std::move(frames_.back());
            frames_.pop_back();
            CloseFrame(frame, stack_[i]);
        }
        stack_[i] = stack_[outside];
        stack_[i].frame = -1;
    }
    return true;
}

// The words that format the current section (its break, columns, header places, page numbers,
// line numbers and page borders).
bool IsSectionFormat(W w) {
    switch (w) {
        case W::sectd: case W::sbknone: case W::sbkpage: case W::sbkcol: case W::sbkeven: case W::sbkodd:
        case W::cols: case W::colsx: case W::linebetcol: case W::colno: case W::colw: case W::colsr:
        case W::titlpg: case W::headery: case W::footery:
        case W::marglsxn: case W::margrsxn: case W::margtsxn: case W::margbsxn: case W::pgwsxn: case W::pghsxn:
        case W::pgnstarts: case W::pgnrestart: case W::pgndec: case W::pgnucrm: case W::pgnlcrm:
        case W::pgnucltr: case W::pgnlcltr:
        case W::linemod: case W::linex: case W::linestarts: case W::linerestart: case W::lineppage:
        case W::linecont:
        case W::pgbrdrt: case W::pgbrdrl: case W::pgbrdrb: case W::pgbrdrr: case W::pgbrdropt:
            return true;
        default:
            return false;
    }
}

void RtfReader::Word(std::string_view name, int param, std::size_t& pos) {
    const bool star = starPending_;
    starPending_ = false;
    const auto& table = WordTable();
    auto found = table.find(name);
    GroupState& st = stack_.back();
    if (found == table.end()) {
        if (name == "mmath" || name == "moMathPara" || name == "moMath") {
            if (st.dest == Dest::Text && !st.math) {
                // shown in a linear form, unless a picture of it follows
                st.math = true;
                const auto& content = CurrentSink().para.content;
                mathStart_.paragraph = paragraphsFinished_;
                mathStart_.runs = content.size();
                mathStart_.chars = content.empty() ? 0 : content.back().text.size();
            } else if (st.dest != Dest::Text && star) {
                st.dest = Dest::Skip;
            }
            return;
        }
        if (name == "mmathPict") {
            // Word's picture of the equation, for readers without equations: shown instead of
            // the linear form, as it is the equation as Word draws it.
            if (st.math && st.dest == Dest::Text && mathStart_.paragraph == paragraphsFinished_) {
                auto& content = CurrentSink().para.content;
                if (mathStart_.runs <= content.size()) {
                    content.resize(mathStart_.runs);
                    if (!content.empty() && content.back().text.size() > mathStart_.chars)
                        content.back().text.resize(mathStart_.chars);
                }
            }
            st.math = false;
            return;
        }
        if (st.math && name.size() > 1 && name[0] == 'm') {
            MathWord(name);
            return;
        }
        if (star) st.dest = Dest::Skip;
        return;
    }
    const W w = found->second;
    const bool has = param != kNoParam;
    // A section's formatting inside a header, a note or a text box belongs to no section (a
    // writer may put a whole section break into a text box's table): the body's section keeps
    // its own break, columns and page numbers.
    if (sinks_.size() > 1 && IsSectionFormat(w)) {
        borderTarget_ = BorderTarget::None;
        return;
    }

    if (w == W::bin) {
        const std::size_t count = has && param > 0 ? static_cast<std::size_t>(param) : 0;
        if (count > in_.size() - pos) {
            Fail(ReadStatus::Malformed, "binary data runs past the end of the document");
            pos = in_.size();
            return;
        }
        if (st.dest == Dest::Picture && !pict_.tooLarge) {
            if (pict_.data.size() + count > limits_.maxPictureBytes) {
                pict_.tooLarge = true;
                pict_.data.clear();
                pict_.data.shrink_to_fit();
            } else {
                pict_.data.insert(pict_.data.end(), in_.begin() + static_cast<std::ptrdiff_t>(pos),
                                  in_.begin() + static_cast<std::ptrdiff_t>(pos + count));
            }
        }
        pos += count;
        return;
    }
    if (st.dest == Dest::Skip) return;
    if (st.frame >= 0 && stack_.size() > 2 && (st.dest == Dest::FontTable || st.dest == Dest::StyleSheet) &&
        frames_[static_cast<std::size_t>(st.frame)].entryGroups && (w == W::pard || w == W::par || w == W::sectd) &&
        EndUnclosedTables()) {
        Word(name, param, pos);
        return;
    }
    // Style words may carry a star: in the style sheet (\*\cs10 ...), and in text, where some
    // writers put a character style as "\*\cs12" (the star only tells readers that do not know
    // the word to skip it).
    const bool styleWord = (st.dest == Dest::StyleSheet && (w == W::cs || w == W::ds || w == W::ts)) ||
                           (w == W::cs && st.dest == Dest::Text);
    if (star && !IsKnownDestination(w) && !styleWord) {
        st.dest = Dest::Skip;
        return;
    }
    if (IsKnownDestination(w) || w == W::skipdest) {
        StartDestination(w);
        return;
    }
    if ((shape_.open || group_.open) && !st.innerShape && ShapeWord(w, param)) return;

    if (st.dest == Dest::Text || CollectsText(st.dest)) {
        switch (w) {
            case W::u: if (has) { EmitUnicode(param); skip_ = st.uc; } return;
            case W::uc: st.uc = std::clamp(has ? param : 1, 0, kMaxUc); return;
            case W::emdash: EmitChar(0x2014); return;
            case W::endash: EmitChar(0x2013); return;
            case W::bullet: EmitChar(0x2022); return;
            case W::lquote: EmitChar(0x2018); return;
            case W::rquote: EmitChar(0x2019); return;
            case W::ldblquote: EmitChar(0x201C); return;
            case W::rdblquote: EmitChar(0x201D); return;
            case W::emspace: EmitChar(0x2003); return;
            case W::enspace: EmitChar(0x2002); return;
            case W::qmspace: EmitChar(0x2005); return;
            case W::zwj: EmitChar(0x200D); return;
            case W::zwnj: EmitChar(0x200C); return;
            default: break;
        }
    }
    switch (st.dest) {
        case Dest::FontTable:
            switch (w) {
                case W::f:
                    FinishFontEntry();
                    fontEntry_.open = true;
                    fontEntry_.number = param;
                    return;
                case W::fnil: fontEntry_.font.family = Font::Family::Nil; return;
                case W::froman: fontEntry_.font.family = Font::Family::Roman; return;
                case W::fswiss: fontEntry_.font.family = Font::Family::Swiss; return;
                case W::fmodern: fontEntry_.font.family = Font::Family::Modern; return;
                case W::fscript: fontEntry_.font.family = Font::Family::Script; return;
                case W::fdecor: fontEntry_.font.family = Font::Family::Decor; return;
                case W::ftech: fontEntry_.font.family = Font::Family::Tech; return;
                case W::fbidi: fontEntry_.font.family = Font::Family::Bidi; return;
                case W::fcharset:
                    fontEntry_.charsetGiven = true;
                    fontEntry_.font.charset = has ? param : 0;
                    if (fontEntry_.codePage == 0 || !has) fontEntry_.codePage = CodePageOfCharset(fontEntry_.font.charset);
                    return;
                case W::cpg:
                    if (has && param > 0) fontEntry_.codePage = param, fontEntry_.charsetGiven = true;
                    return;
                case W::fprq: fontEntry_.font.pitch = std::clamp(has ? param : 0, 0, 2); return;
                default: return;
            }
        case Dest::ColorTable:
            if (w == W::red || w == W::green || w == W::blue) {
                const auto value = static_cast<std::uint8_t>(std::clamp(has ? param : 0, 0, 255));
                if (!colorEntrySet_) colorEntry_ = Color{0, 0, 0, false};
                colorEntrySet_ = true;
                (w == W::red ? colorEntry_.r : w == W::green ? colorEntry_.g : colorEntry_.b) = value;
            }
            return;
        case Dest::StyleSheet: {
            switch (w) {
                case W::s: case W::cs: case W::ds: case W::ts:
                    if (styleEntryOpen_ && !styleEntry_.tokens.empty()) FinishStyleEntry();
                    styleEntryOpen_ = true;
                    styleName_.clear();
                    styleEntry_.number = has ? param : 0;
                    styleEntry_.character = w == W::cs;
                    if (w == W::ds || w == W::ts) styleEntry_.number = -1 - std::abs(styleEntry_.number % 100000);
                    return;
                case W::sbasedon:
                    styleEntryOpen_ = true;
                    styleEntry_.basedOn = has ? param : -1;
                    return;
                default: break;
            }
            GroupState scratch;
            if (ApplyFormat(scratch, w, param)) {
                styleEntryOpen_ = true;
                if (styleEntry_.tokens.size() < kMaxStyleTokens) styleEntry_.tokens.emplace_back(w, param);
            }
            return;
        }
        case Dest::FormField: {
            if (fields_.empty()) return;
            FieldState& field = fields_.back();
            const int value = has ? param : 0;
            switch (w) {
                case W::fftype: field.formType = value; return;
                case W::ffres: field.formResult = value; return;
                case W::ffdefres: field.formDefault = value; return;
                case W::ffhps: field.formSizeHalfPoints = std::clamp(value, 0, kMaxFontHalfPoints); return;
                case W::ffsize: field.formExactSize = value == 1; return;
                default: return;
            }
        }
        case Dest::ListTable:
            if (w == W::listid) {
                if (lists_.empty()) return;
                lists_.back().id = WordId(name);
                listById_[lists_.back().id] = lists_.size() - 1;
                return;
            }
            [[fallthrough]];
        case Dest::ListOverrideLevel: {
            ListLevelDef* level = LevelBeingRead(st.dest == Dest::ListOverrideLevel);
            if (level == nullptr) return;
            switch (w) {
                case W::levelnfc: case W::levelnfcn: level->numbering = NumberingOfNfc(param); return;
                case W::levelstartat: level->start = std::clamp(has ? param : 1, 0, 1 << 20); return;
                case W::levelfollow:
                    level->follow = param == 1   ? ParaFormat::LabelFollow::Space
                                    : param == 2 ? ParaFormat::LabelFollow::Nothing
                                                 : ParaFormat::LabelFollow::Tab;
                    return;
                case W::leveljc: case W::leveljcn:
                    // \leveljcnN counts from the line's start (0) to its end (2), which for the
                    // left-to-right text read here is the same as \leveljcN.
                    level->align = param == 1   ? ParaFormat::LabelAlign::Center
                                   : param == 2 ? ParaFormat::LabelAlign::Right
                                                : ParaFormat::LabelAlign::Left;
                    return;
                case W::f: level->font = FontIndex(param); return;
                case W::levellegal: level->legal = has && param == 1; return;
                case W::levelnorestart: level->noRestart = has && param == 1; return;
                default: return;
            }
        }
        case Dest::ListOverrideTable: {
            if (overrides_.empty()) return;
            ListOverrideDef& entry = overrides_.back();
            switch (w) {
                case W::listid: entry.listId = WordId(name); return;
                case W::ls:
                    if (has) {
                        overrideByLs_[param] = overrides_.size() - 1;
                        Charge(64);
                    }
                    return;
                case W::lfolevel:
                    if (entry.levels.size() < 9) {
                        entry.levels.emplace_back();
                        Charge(sizeof(LevelOverride));
                    }
                    return;
                case W::listoverridestartat:
                    if (!entry.levels.empty()) entry.levels.back().startAt = true;
                    return;
                case W::levelstartat:
                    if (!entry.levels.empty()) entry.levels.back().start = std::clamp(has ? param : 1, 0, 1 << 20);
                    return;
                default: return;
            }
        }
        case Dest::Pn:
            switch (w) {
                case W::pnlvlblt: st.para.pnBullet = true, st.para.pnCont = false; return;
                case W::pnlvlbody: st.para.pnBullet = false, st.para.pnCont = false; return;
                case W::pnlvlcont: st.para.pnBullet = false, st.para.pnCont = true; return;
                case W::pnlvl: st.para.pnLevel = std::clamp(has ? param : 0, 0, 9); return;
                case W::pnstart: st.para.pnStart = std::clamp(has ? param : 1, 0, 1 << 20); return;
                case W::pnql: st.para.pnAlign = ParaFormat::LabelAlign::Left; return;
                case W::pnqc: st.para.pnAlign = ParaFormat::LabelAlign::Center; return;
                case W::pnqr: st.para.pnAlign = ParaFormat::LabelAlign::Right; return;
                default:
                    if (const int nfc = NfcOfPnWord(w); nfc >= 0) st.para.pnType = NumberingOfNfc(nfc);
                    return;
            }
        case Dest::Picture: {
            Picture& pic = pict_.picture;
            const int v = has ? param : 0;
            switch (w) {
                case W::pngblip: pic.kind = Picture::Kind::Png; return;
                case W::jpegblip: pic.kind = Picture::Kind::Jpeg; return;
                case W::emfblip: pic.kind = Picture::Kind::Emf; return;
                case W::wmetafile: pic.kind = Picture::Kind::Wmf; pic.metafileMapMode = v; return;
                case W::dibitmap: pic.kind = Picture::Kind::Dib; return;
                case W::wbitmap: pic.kind = Picture::Kind::Bitmap; return;
                case W::pmmetafile: pic.kind = Picture::Kind::Unknown; return;
                case W::picw: pic.width = std::clamp(v, 0, kMaxLength); return;
                case W::pich: pic.height = std::clamp(v, 0, kMaxLength); return;
                case W::picwgoal: pic.goalWidth = std::clamp(v, 0, kMaxLength); return;
                case W::pichgoal: pic.goalHeight = std::clamp(v, 0, kMaxLength); return;
                case W::picscalex: pic.scaleX = std::clamp(has && v > 0 ? v : 100, 1, 10000); return;
                case W::picscaley: pic.scaleY = std::clamp(has && v > 0 ? v : 100, 1, 10000); return;
                case W::piccropl: pic.cropLeft = Length(v); return;
                case W::piccropr: pic.cropRight = Length(v); return;
                case W::piccropt: pic.cropTop = Length(v); return;
                case W::piccropb: pic.cropBottom = Length(v); return;
                case W::wbmbitspixel: pic.bitsPerPixel = std::clamp(v, 0, 64); return;
                case W::wbmplanes: pic.planes = std::clamp(v, 0, 64); return;
                case W::wbmwidthbytes: pic.widthBytes = std::clamp(v, 0, kMaxLength); return;
                default: return;
            }
        }
        case Dest::Text: break;
        default:
            // Inside a listtext, field code, font name ...: formatting still counts for the
            // label's format; structure words do not.
            if (st.dest == Dest::ListText) ApplyFormat(st, w, param);
            if (w == W::tab && CollectsText(st.dest) && !frames_.empty()) frames_.back().text.push_back(u'\t');
            return;
    }

    // Shown text.
    if (ApplyFormat(st, w, param)) {
        ParaState& para = st.para;
        if (w != W::pard && w != W::plain && para.directCount < ParaState::kMaxDirect)
            para.direct[para.directCount++] = {w, param};
        return;
    }
    RowDef& row = RowDefAt(RowLevel(st));
    switch (w) {
        case W::rtf: return;
        case W::ansi: docCodePage_ = 1252; return;
        case W::mac: docCodePage_ = 10000; return;
        case W::pc: docCodePage_ = 437; return;
        case W::pca: docCodePage_ = 850; return;
        case W::ansicpg: if (has && param > 0) docCodePage_ = param; return;
        case W::deflang: if (has && param > 0) defaultLang_ = param; return;
        case W::deff:
            defaultFontNumber_ = param;
            doc_.defaultFont = FontIndex(param);
            return;
        case W::paperw: doc_.paperWidth = std::clamp(has ? param : 0, 0, kMaxLength); return;
        case W::paperh: doc_.paperHeight = std::clamp(has ? param : 0, 0, kMaxLength); return;
        case W::margl: doc_.marginLeft = std::clamp(has ? param : 0, 0, kMaxLength); return;
        case W::margr: doc_.marginRight = std::clamp(has ? param : 0, 0, kMaxLength); return;
        case W::margt: doc_.marginTop = std::clamp(has ? param : 0, 0, kMaxLength); return;
        case W::margb: doc_.marginBottom = std::clamp(has ? param : 0, 0, kMaxLength); return;
        case W::facingp: doc_.facingPages = true; return;
        case W::margmirror: doc_.mirrorMargins = true; return;
        case W::gutter: doc_.gutter = std::clamp(has ? param : 0, 0, kMaxLength); return;
        case W::rtlgutter: doc_.gutterRight = true; return;
        case W::gutterprl: doc_.gutterAtTop = true; return;
        case W::nocolbal: doc_.balanceColumns = false; return;
        case W::deftab: doc_.defaultTab = has && param > 0 ? std::min(param, kMaxLength) : 720; return;
        // Footnotes at the document's end (\enddoc) or on their pages (\ftnbj \ftntj, as Word
        // writes it). Where the endnotes go (\aenddoc \aendnotes) changes nothing: they are at
        // the document's end.
        case W::enddoc: doc_.footnotesAtEnd = true; return;
        case W::ftnbj: case W::ftntj: doc_.footnotesAtEnd = false; return;
        case W::ftnstart: footnoteStart_ = std::clamp(has ? param : 1, 0, 1 << 20); return;
        case W::aftnstart: endnoteStart_ = std::clamp(has ? param : 1, 0, 1 << 20); return;
        case W::ftnnar: case W::ftnnalc: case W::ftnnauc: case W::ftnnrlc: case W::ftnnruc: case W::ftnnchi:
        case W::aftnnar: case W::aftnnalc: case W::aftnnauc: case W::aftnnrlc: case W::aftnnruc: case W::aftnnchi: {
            static constexpr Numbering kByWord[] = {Numbering::Decimal, Numbering::LowerLetter, Numbering::UpperLetter,
                                                    Numbering::LowerRoman, Numbering::UpperRoman, Numbering::Chicago};
            const bool endnote = w >= W::aftnnar;
            const int k = static_cast<int>(w) - static_cast<int>(endnote ? W::aftnnar : W::ftnnar);
            (endnote ? endnoteNumbering_ : footnoteNumbering_) = kByWord[k];
            return;
        }
        case W::s: {
            auto it = paraStyleByNumber_.find(has ? param : 0);
            if (it == paraStyleByNumber_.end()) return;
            const StyleDef& style = styles_[it->second];
            const int itap = st.para.itap, ls = st.para.ls, ilvl = st.para.ilvl;
            // The style is the base; paragraph words already given for this paragraph stay on top.
            GroupState scratch;
            scratch.para = style.para;
            const BorderTarget saved = borderTarget_;
            for (int k = 0; k < st.para.directCount; ++k)
                ApplyFormat(scratch, st.para.direct[k].first, st.para.direct[k].second);
            borderTarget_ = saved;
            scratch.para.direct = st.para.direct;
            scratch.para.directCount = st.para.directCount;
            st.para = std::move(scratch.para);
            st.para.itap = itap;
            if (ls >= 0) {
                st.para.ls = ls;
                st.para.ilvl = ilvl;
            }
            st.para.style = has ? param : 0;
            // The style's character words go over the formatting in force, which a paragraph
            // style does not reset: text after "\b\f1 ...\par\pard\s1" stays bold in that
            // font where the style says nothing of either.
            scratch.chr = st.chr;
            for (const auto& [word, p] : style.charTokens) ApplyFormat(scratch, word, p);
            borderTarget_ = saved;
            st.chr = scratch.chr;
            return;
        }
        case W::cs: {
            auto it = charStyleByNumber_.find(has ? param : 0);
            if (it == charStyleByNumber_.end()) return;
            const BorderTarget saved = borderTarget_;
            for (const auto& [word, p] : styles_[it->second].tokens) ApplyFormat(st, word, p);
            borderTarget_ = saved;
            return;
        }
        case W::par: FinishParagraph(false); return;
        case W::line: AppendInline(Inline::Kind::LineBreak); return;
        case W::tab: AppendInline(Inline::Kind::Tab); return;
        case W::column: AppendInline(Inline::Kind::ColumnBreak); return;
        case W::chpgn: AppendInline(Inline::Kind::PageNumber); return;  // a header's page number
        case W::chdate: case W::chdpl: case W::chdpa: case W::chtime: {
            // The date (short, long, abbreviated) or the time now, as DATE and TIME fields show
            // them: Word 6 headers, and LaTeX's \today in latex2rtf's documents.
            const std::u16string_view code = w == W::chdate ? u"DATE"
                                             : w == W::chdpl ? u"DATE \\@ \"dddd, MMMM d, yyyy\""
                                             : w == W::chdpa ? u"DATE \\@ \"ddd, MMM d, yyyy\""
                                                             : u"TIME";
            if (auto shown = DateFieldResult(code, now_, st.lang < 0 ? defaultLang_ : st.lang)) EmitText(*shown);
            return;
        }
        case W::page: {
            if (st.para.itap > 0 || sinks_.size() > 1) return;  // no page breaks in cells, headers, notes
            Sink& sink = CurrentSink();
            // In an empty paragraph the break goes before the next one, unless there is nothing
            // before it to break from (the section's start) or a break is already waiting there
            // (\page\page): then the empty paragraph stands on a page of its own, as written.
            const Paragraph* last = sink.blocks.empty() ? nullptr : std::get_if<Paragraph>(&sink.blocks.back().value);
            const bool broken = sink.breakBefore || sink.blocks.empty() || (last && last->pageBreakAfter);
            if (sink.para.content.empty() && !broken) sink.breakBefore = true;
            else FinishParagraph(true);
            return;
        }
        case W::fldlock:
            if (!fields_.empty()) fields_.back().locked = true;
            return;
        case W::chftn:
            if (sinks_.size() == 1) {
                AppendInline(Inline::Kind::NoteRef);
                CurrentSink().pendingNoteRef = static_cast<int>(CurrentSink().para.content.size()) - 1;
            }
            return;
        case W::ftnalt:
            for (auto it = frames_.rbegin(); it != frames_.rend(); ++it) {
                if (it->kind == FrameKind::Sink && it->sink == SinkKind::Note) {
                    doc_.notes[static_cast<std::size_t>(it->which)].endnote = true;
                    break;
                }
            }
            return;
        case W::sect:
            if (sinks_.size() == 1 && st.para.itap == 0) EndSection(true);
            return;
        case W::sectd: {
            Section& s = CurrentSection();
            s.breakBefore = Section::Break::Page;
            s.columns = 1;
            s.columnSpace = 720;
            s.lineBetween = false;
            s.columnDefs.clear();
            columnNumber_ = 0;
            s.titlePage = false;
            s.headerDistance = s.footerDistance = 720;
            s.pageNumberStart = 0;
            s.pageNumbers = Numbering::Decimal;
            s.pageBorders = Borders{};
            s.pageBordersFromEdge = false;
            s.pageBordersOn = Section::BorderPages::All;
            s.lineNumbers = LineNumbering{};
            s.marginLeft = s.marginRight = s.marginTop = s.marginBottom = -1;
            s.pageWidth = s.pageHeight = 0;
            pgnRestart_ = false;
            pgnStarts_ = 1;
            return;
        }
        case W::sbknone: CurrentSection().breakBefore = Section::Break::None; return;
        case W::sbkpage: CurrentSection().breakBefore = Section::Break::Page; return;
        case W::sbkcol: CurrentSection().breakBefore = Section::Break::Column; return;
        case W::sbkeven: CurrentSection().breakBefore = Section::Break::Even; return;
        case W::sbkodd: CurrentSection().breakBefore = Section::Break::Odd; return;
        case W::cols: CurrentSection().columns = std::clamp(has ? param : 1, 1, kMaxColumns); return;
        case W::colsx: CurrentSection().columnSpace = std::clamp(has ? param : 720, 0, 31680); return;
        case W::linebetcol: CurrentSection().lineBetween = true; return;
        // \colnoN picks the column that the following \colw and \colsr describe.
        case W::colno: columnNumber_ = std::clamp(has ? param : 1, 1, kMaxColumns) - 1; return;
        case W::colw:
        case W::colsr: {
            auto& defs = CurrentSection().columnDefs;
            const auto at = static_cast<std::size_t>(columnNumber_);
            if (defs.size() <= at) defs.resize(at + 1);
            if (w == W::colw) defs[at].width = std::clamp(has ? param : 0, 0, 31680);
            else defs[at].spaceAfter = std::clamp(has ? param : 0, 0, 31680);
            return;
        }
        case W::titlpg: CurrentSection().titlePage = true; return;
        case W::marglsxn: CurrentSection().marginLeft = std::clamp(has ? param : 0, 0, kMaxLength); return;
        case W::margrsxn: CurrentSection().marginRight = std::clamp(has ? param : 0, 0, kMaxLength); return;
        case W::margtsxn: CurrentSection().marginTop = std::clamp(has ? param : 0, 0, kMaxLength); return;
        case W::margbsxn: CurrentSection().marginBottom = std::clamp(has ? param : 0, 0, kMaxLength); return;
        case W::pgwsxn: CurrentSection().pageWidth = std::clamp(has ? param : 0, 0, kMaxLength); return;
        case W::pghsxn: CurrentSection().pageHeight = std::clamp(has ? param : 0, 0, kMaxLength); return;
        case W::headery: CurrentSection().headerDistance = std::clamp(has ? param : 720, 0, 31680); return;
        case W::footery: CurrentSection().footerDistance = std::clamp(has ? param : 720, 0, 31680); return;
        case W::pgnstarts:
            pgnStarts_ = std::clamp(has ? param : 1, 0, 1 << 20);
            if (pgnRestart_) CurrentSection().pageNumberStart = pgnStarts_;
            return;
        case W::pgnrestart:
            pgnRestart_ = true;
            CurrentSection().pageNumberStart = pgnStarts_;
            return;
        case W::pgndec: CurrentSection().pageNumbers = Numbering::Decimal; return;
        case W::pgnucrm: CurrentSection().pageNumbers = Numbering::UpperRoman; return;
        case W::pgnlcrm: CurrentSection().pageNumbers = Numbering::LowerRoman; return;
        case W::pgnucltr: CurrentSection().pageNumbers = Numbering::UpperLetter; return;
        case W::pgnlcltr: CurrentSection().pageNumbers = Numbering::LowerLetter; return;
        case W::linemod: CurrentSection().lineNumbers.every = std::clamp(has ? param : 0, 0, kMaxLineNumber); return;
        case W::linex: CurrentSection().lineNumbers.distance = std::clamp(has ? param : 0, 0, 31680); return;
        case W::linestarts:
            CurrentSection().lineNumbers.start = std::clamp(has ? param : 1, 1, kMaxLineNumber);
            return;
        case W::linerestart: CurrentSection().lineNumbers.restart = LineNumbering::Restart::Section; return;
        case W::lineppage: CurrentSection().lineNumbers.restart = LineNumbering::Restart::Page; return;
        case W::linecont: CurrentSection().lineNumbers.restart = LineNumbering::Restart::Continue; return;
        case W::pgbrdrt: borderTarget_ = BorderTarget::PageTop; return;
        case W::pgbrdrl: borderTarget_ = BorderTarget::PageLeft; return;
        case W::pgbrdrb: borderTarget_ = BorderTarget::PageBottom; return;
        case W::pgbrdrr: borderTarget_ = BorderTarget::PageRight; return;
        case W::pgbrdropt: {
            // bits 0-2: which pages (0 all, 1 the first, 2 all but the first); bit 5: measured
            // from the paper's edge
            const int options = has ? param : 0;
            Section& s = CurrentSection();
            s.pageBordersFromEdge = (options & 32) != 0;
            s.pageBordersOn = (options & 7) == 1   ? Section::BorderPages::First
                              : (options & 7) == 2 ? Section::BorderPages::AllButFirst
                                                   : Section::BorderPages::All;
            return;
        }

        case W::trowd: {
            row = RowDef{};
            borderTarget_ = BorderTarget::None;
            return;
        }
        case W::cellx: {
            if (row.cells.size() >= kMaxCellDefs) return;
            row.pending.cell.rightEdge = Length(has ? param : 0);
            TableCell& c = row.pending.cell;
            int* pads[] = {&c.padLeft, &c.padTop, &c.padRight, &c.padBottom};
            for (std::size_t side = 0; side < 4; ++side)
                if (row.pending.padIgnored[side]) *pads[side] = -1;
            row.cells.push_back(std::move(row.pending));
            row.pending = CellDef{};
            Charge(sizeof(CellDef));
            return;
        }
        case W::cell: EndCell(1); return;
        case W::nestcell: EndCell(std::max(2, st.para.itap)); return;
        case W::row: EndRow(1); return;
        case W::nestrow: EndRow(std::max(2, st.para.itap)); return;
        case W::trleft: row.row.leftOffset = Length(has ? param : 0); return;
        case W::trgaph: row.row.gapHalf = std::clamp(has ? param : 0, 0, 31680); return;
        case W::trrh: row.row.height = std::clamp(has ? param : 0, -31680, 31680); return;
        case W::trhdr: row.row.header = true; return;
        case W::trkeep: row.row.keepTogether = true; return;
        case W::rtlrow: row.row.rightToLeft = true; return;
        case W::ltrrow: row.row.rightToLeft = false; return;
        case W::trql: row.row.alignment = Alignment::Left; return;
        case W::trqc: row.row.alignment = Alignment::Center; return;
        case W::trqr: row.row.alignment = Alignment::Right; return;
        case W::trpaddl: row.row.paddingLeft = std::clamp(has ? param : 0, 0, 31680); return;
        case W::trpaddr: row.row.paddingRight = std::clamp(has ? param : 0, 0, 31680); return;
        case W::trpaddt: row.row.paddingTop = std::clamp(has ? param : 0, 0, 31680); return;
        case W::trpaddb: row.row.paddingBottom = std::clamp(has ? param : 0, 0, 31680); return;
        // Units of paddings: 3 twips, 0 "ignore it" (\trgaph then spaces the text).
        case W::trpaddfl: row.padIgnored[0] = has && param == 0; return;
        case W::trpaddft: row.padIgnored[1] = has && param == 0; return;
        case W::trpaddfr: row.padIgnored[2] = has && param == 0; return;
        case W::trpaddfb: row.padIgnored[3] = has && param == 0; return;
        // A cell's own: Word writes the top padding as \clpadl and the left one as \clpadt (and
        // their units likewise), and word processors read them so; right and bottom are as named.
        case W::clpadl: row.pending.cell.padTop = std::clamp(has ? param : 0, 0, 31680); return;
        case W::clpadt: row.pending.cell.padLeft = std::clamp(has ? param : 0, 0, 31680); return;
        case W::clpadr: row.pending.cell.padRight = std::clamp(has ? param : 0, 0, 31680); return;
        case W::clpadb: row.pending.cell.padBottom = std::clamp(has ? param : 0, 0, 31680); return;
        case W::clpadfl: row.pending.padIgnored[1] = has && param == 0; return;
        case W::clpadft: row.pending.padIgnored[0] = has && param == 0; return;
        case W::clpadfr: row.pending.padIgnored[2] = has && param == 0; return;
        case W::clpadfb: row.pending.padIgnored[3] = has && param == 0; return;
        case W::clbrdrt: borderTarget_ = BorderTarget::CellTop; return;
        case W::clbrdrl: borderTarget_ = BorderTarget::CellLeft; return;
        case W::clbrdrb: borderTarget_ = BorderTarget::CellBottom; return;
        case W::clbrdrr: borderTarget_ = BorderTarget::CellRight; return;
        case W::trbrdrt: borderTarget_ = BorderTarget::RowTop; return;
        case W::trbrdrl: borderTarget_ = BorderTarget::RowLeft; return;
        case W::trbrdrb: borderTarget_ = BorderTarget::RowBottom; return;
        case W::trbrdrr: borderTarget_ = BorderTarget::RowRight; return;
        case W::trbrdrh: borderTarget_ = BorderTarget::RowInsideH; return;
        case W::trbrdrv: borderTarget_ = BorderTarget::RowInsideV; return;
        case W::clcbpat: row.pending.shadingColor = has ? param : -1; return;
        case W::clcfpat: row.pending.patternColor = has ? param : -1; return;
        case W::clshdng: row.pending.shading = has ? param : 0; return;
        case W::clvertalt: row.pending.cell.verticalAlign = TableCell::VAlign::Top; return;
        // (\cltxlrtbv, East Asian letters standing upright in lines across, is laid out across)
        case W::cltxlrtb: case W::cltxlrtbv: row.pending.cell.textFlow = TableCell::Flow::Across; return;
        case W::cltxbtlr: row.pending.cell.textFlow = TableCell::Flow::Up; return;
        case W::cltxtbrl: case W::cltxtbrlv: row.pending.cell.textFlow = TableCell::Flow::Down; return;
        case W::clvertalc: row.pending.cell.verticalAlign = TableCell::VAlign::Center; return;
        case W::clvertalb: row.pending.cell.verticalAlign = TableCell::VAlign::Bottom; return;
        case W::clmgf: row.pending.cell.mergeFirst = true; return;
        case W::clmrg: row.pending.cell.merged = true; return;
        case W::clvmgf: row.pending.cell.verticalMergeFirst = true; return;
        case W::clvmrg: row.pending.cell.verticalMerged = true; return;
        default: return;
    }
}

}  // namespace

ReadResult ReadRtf(std::string_view bytes, const ReadLimits& limits, const std::optional<DateTime>& now) {
    RtfReader reader(bytes, limits, now ? *now : LocalNow());
    return reader.Read();
}

}  // namespace docengine
