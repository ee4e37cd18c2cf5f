#include "kestrum/font/encoding.h"

#include <algorithm>
#include <array>

#include "kestrum/checked.h"
#include "kestrum/font/type1.h"

namespace kestrum {

namespace {

struct CodeName {
  uint8_t code;
  std::string_view name;
};

struct GlyphEntry {
  std::string_view name;
  char32_t value;
};

// clang-format off
// Codes 32..126 of the Latin text encodings (Standard swaps in quoteright and quoteleft).
constexpr std::string_view kAsciiNames[95] = {
    "space", "exclam", "quotedbl", "numbersign", "dollar", "percent", "ampersand", "quotesingle",
    "parenleft", "parenright", "asterisk", "plus", "comma", "hyphen", "period", "slash", "zero",
    "one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "colon", "semicolon",
    "less", "equal", "greater", "question", "at", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J",
    "K", "L", "M", "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z", "bracketleft",
    "backslash", "bracketright", "asciicircum", "underscore", "grave", "a", "b", "c", "d", "e", "f",
    "g", "h", "i", "j", "k", "l", "m", "n", "o", "p", "q", "r", "s", "t", "u", "v", "w", "x", "y",
    "z", "braceleft", "bar", "braceright", "asciitilde",
};

// Codes 128..255 of the Latin text encodings.
constexpr CodeName kStandardHigh[] = {
    {161, "exclamdown"}, {162, "cent"}, {163, "sterling"}, {164, "fraction"}, {165, "yen"},
    {166, "florin"}, {167, "section"}, {168, "currency"}, {169, "quotesingle"},
    {170, "quotedblleft"}, {171, "guillemotleft"}, {172, "guilsinglleft"}, {173, "guilsinglright"},
    {174, "fi"}, {175, "fl"}, {177, "endash"}, {178, "dagger"}, {179, "daggerdbl"},
    {180, "periodcentered"}, {182, "paragraph"}, {183, "bullet"}, {184, "quotesinglbase"},
    {185, "quotedblbase"}, {186, "quotedblright"}, {187, "guillemotright"}, {188, "ellipsis"},
    {189, "perthousand"}, {191, "questiondown"}, {193, "grave"}, {194, "acute"},
    {195, "circumflex"}, {196, "tilde"}, {197, "macron"}, {198, "breve"}, {199, "dotaccent"},
    {200, "dieresis"}, {202, "ring"}, {203, "cedilla"}, {205, "hungarumlaut"}, {206, "ogonek"},
    {207, "caron"}, {208, "emdash"}, {225, "AE"}, {227, "ordfeminine"},
    // Without these eight, text in fonts that fall back to the standard encoding loses
    // Ł, Ø, Œ, º, ł, ø, œ and ß.
    {232, "Lslash"}, {233, "Oslash"}, {234, "OE"}, {235, "ordmasculine"}, {241, "ae"},
    {245, "dotlessi"}, {248, "lslash"}, {249, "oslash"}, {250, "oe"}, {251, "germandbls"},
};
constexpr CodeName kWinAnsiHigh[] = {
    {128, "Euro"}, {130, "quotesinglbase"}, {131, "florin"}, {132, "quotedblbase"},
    {133, "ellipsis"}, {134, "dagger"}, {135, "daggerdbl"}, {136, "circumflex"},
    {137, "perthousand"}, {138, "Scaron"}, {139, "guilsinglleft"}, {140, "OE"}, {142, "Zcaron"},
    {145, "quoteleft"}, {146, "quoteright"}, {147, "quotedblleft"}, {148, "quotedblright"},
    {149, "bullet"}, {150, "endash"}, {151, "emdash"}, {152, "tilde"}, {153, "trademark"},
    {154, "scaron"}, {155, "guilsinglright"}, {156, "oe"}, {158, "zcaron"}, {159, "Ydieresis"},
    {161, "exclamdown"}, {162, "cent"}, {163, "sterling"}, {164, "currency"}, {165, "yen"},
    {166, "brokenbar"}, {167, "section"}, {168, "dieresis"}, {169, "copyright"},
    {170, "ordfeminine"}, {171, "guillemotleft"}, {172, "logicalnot"}, {173, "hyphen"},
    {174, "registered"}, {175, "macron"}, {176, "degree"}, {177, "plusminus"}, {178, "twosuperior"},
    {179, "threesuperior"}, {180, "acute"}, {181, "mu"}, {182, "paragraph"},
    {183, "periodcentered"}, {184, "cedilla"}, {185, "onesuperior"}, {186, "ordmasculine"},
    {187, "guillemotright"}, {188, "onequarter"}, {189, "onehalf"}, {190, "threequarters"},
    {191, "questiondown"}, {192, "Agrave"}, {193, "Aacute"}, {194, "Acircumflex"}, {195, "Atilde"},
    {196, "Adieresis"}, {197, "Aring"}, {198, "AE"}, {199, "Ccedilla"}, {200, "Egrave"},
    {201, "Eacute"}, {202, "Ecircumflex"}, {203, "Edieresis"}, {204, "Igrave"}, {205, "Iacute"},
    {206, "Icircumflex"}, {207, "Idieresis"}, {208, "Eth"}, {209, "Ntilde"}, {210, "Ograve"},
    {211, "Oacute"}, {212, "Ocircumflex"}, {213, "Otilde"}, {214, "Odieresis"}, {215, "multiply"},
    {216, "Oslash"}, {217, "Ugrave"}, {218, "Uacute"}, {219, "Ucircumflex"}, {220, "Udieresis"},
    {221, "Yacute"}, {222, "Thorn"}, {223, "germandbls"}, {224, "agrave"}, {225, "aacute"},
    {226, "acircumflex"}, {227, "atilde"}, {228, "adieresis"}, {229, "aring"}, {230, "ae"},
    {231, "ccedilla"}, {232, "egrave"}, {233, "eacute"}, {234, "ecircumflex"}, {235, "edieresis"},
    {236, "igrave"}, {237, "iacute"}, {238, "icircumflex"}, {239, "idieresis"}, {240, "eth"},
    {241, "ntilde"}, {242, "ograve"}, {243, "oacute"}, {244, "ocircumflex"}, {245, "otilde"},
    {246, "odieresis"}, {247, "divide"}, {248, "oslash"}, {249, "ugrave"}, {250, "uacute"},
    {251, "ucircumflex"}, {252, "udieresis"}, {253, "yacute"}, {254, "thorn"}, {255, "ydieresis"},
};
constexpr CodeName kMacRomanHigh[] = {
    {128, "Adieresis"}, {129, "Aring"}, {130, "Ccedilla"}, {131, "Eacute"}, {132, "Ntilde"},
    {133, "Odieresis"}, {134, "Udieresis"}, {135, "aacute"}, {136, "agrave"}, {137, "acircumflex"},
    {138, "adieresis"}, {139, "atilde"}, {140, "aring"}, {141, "ccedilla"}, {142, "eacute"},
    {143, "egrave"}, {144, "ecircumflex"}, {145, "edieresis"}, {146, "iacute"}, {147, "igrave"},
    {148, "icircumflex"}, {149, "idieresis"}, {150, "ntilde"}, {151, "oacute"}, {152, "ograve"},
    {153, "ocircumflex"}, {154, "odieresis"}, {155, "otilde"}, {156, "uacute"}, {157, "ugrave"},
    {158, "ucircumflex"}, {159, "udieresis"}, {160, "dagger"}, {161, "degree"}, {162, "cent"},
    {163, "sterling"}, {164, "section"}, {165, "bullet"}, {166, "paragraph"}, {167, "germandbls"},
    {168, "registered"}, {169, "copyright"}, {170, "trademark"}, {171, "acute"}, {172, "dieresis"},
    {174, "AE"}, {175, "Oslash"}, {176, "infinity"}, {177, "plusminus"}, {178, "lessequal"},
    {179, "greaterequal"}, {180, "yen"}, {181, "mu"}, {182, "partialdiff"}, {183, "summation"},
    {184, "product"}, {185, "pi"}, {186, "integral"}, {187, "ordfeminine"}, {188, "ordmasculine"},
    {190, "ae"}, {191, "oslash"}, {192, "questiondown"}, {193, "exclamdown"}, {194, "logicalnot"},
    {195, "radical"}, {196, "florin"}, {197, "approxequal"}, {198, "Delta"}, {199, "guillemotleft"},
    {200, "guillemotright"}, {201, "ellipsis"}, {202, "space"}, {203, "Agrave"}, {204, "Atilde"},
    {205, "Otilde"}, {206, "OE"}, {207, "oe"}, {208, "endash"}, {209, "emdash"},
    {210, "quotedblleft"}, {211, "quotedblright"}, {212, "quoteleft"}, {213, "quoteright"},
    {214, "divide"}, {215, "lozenge"}, {216, "ydieresis"}, {217, "Ydieresis"}, {218, "fraction"},
    {219, "currency"}, {220, "guilsinglleft"}, {221, "guilsinglright"}, {222, "fi"}, {223, "fl"},
    {224, "daggerdbl"}, {225, "periodcentered"}, {226, "quotesinglbase"}, {227, "quotedblbase"},
    {228, "perthousand"}, {229, "Acircumflex"}, {230, "Ecircumflex"}, {231, "Aacute"},
    {232, "Edieresis"}, {233, "Egrave"}, {234, "Iacute"}, {235, "Icircumflex"}, {236, "Idieresis"},
    {237, "Igrave"}, {238, "Oacute"}, {239, "Ocircumflex"}, {241, "Ograve"}, {242, "Uacute"},
    {243, "Ucircumflex"}, {244, "Ugrave"}, {245, "dotlessi"}, {246, "circumflex"}, {247, "tilde"},
    {248, "macron"}, {249, "breve"}, {250, "dotaccent"}, {251, "ring"}, {252, "cedilla"},
    {253, "hungarumlaut"}, {254, "ogonek"}, {255, "caron"},
};

// Symbol: the codes that keep their ASCII names, then everything else.
constexpr uint8_t kSymbolAsciiCodes[] = {32, 33, 35, 37, 38, 40, 41, 42, 43, 44, 45, 46, 47, 48,
                                         49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62,
                                         63, 91, 93, 95, 123, 124, 125};
constexpr CodeName kSymbolOwn[] = {
    {34, "universal"}, {36, "existential"}, {39, "suchthat"}, {64, "congruent"}, {65, "Alpha"},
    {66, "Beta"}, {67, "Chi"}, {68, "Delta"}, {69, "Epsilon"}, {70, "Phi"}, {71, "Gamma"},
    {72, "Eta"}, {73, "Iota"}, {74, "theta1"}, {75, "Kappa"}, {76, "Lambda"}, {77, "Mu"},
    {78, "Nu"}, {79, "Omicron"}, {80, "Pi"}, {81, "Theta"}, {82, "Rho"}, {83, "Sigma"}, {84, "Tau"},
    {85, "Upsilon"}, {86, "sigma1"}, {87, "Omega"}, {88, "Xi"}, {89, "Psi"}, {90, "Zeta"},
    {92, "therefore"}, {94, "perpendicular"}, {96, "radicalex"}, {97, "alpha"}, {98, "beta"},
    {99, "chi"}, {100, "delta"}, {101, "epsilon"}, {102, "phi"}, {103, "gamma"}, {104, "eta"},
    {105, "iota"}, {106, "phi1"}, {107, "kappa"}, {108, "lambda"}, {109, "mu"}, {110, "nu"},
    {111, "omicron"}, {112, "pi"}, {113, "theta"}, {114, "rho"}, {115, "sigma"}, {116, "tau"},
    {117, "upsilon"}, {118, "omega1"}, {119, "omega"}, {120, "xi"}, {121, "psi"}, {122, "zeta"},
    {126, "similar"}, {162, "minute"}, {163, "lessequal"}, {164, "fraction"}, {165, "infinity"},
    {166, "florin"}, {168, "diamond"}, {169, "heart"}, {170, "spade"}, {171, "arrowboth"},
    {172, "arrowleft"}, {173, "arrowup"}, {174, "arrowright"}, {175, "arrowdown"}, {176, "degree"},
    {177, "plusminus"}, {178, "second"}, {179, "greaterequal"}, {180, "multiply"},
    {181, "proportional"}, {182, "partialdiff"}, {183, "bullet"}, {184, "divide"},
    {185, "notequal"}, {186, "equivalence"}, {187, "approxequal"}, {188, "ellipsis"},
    {192, "aleph"}, {193, "Ifraktur"}, {194, "Rfraktur"}, {195, "weierstrass"},
    {196, "circlemultiply"}, {197, "circleplus"}, {198, "emptyset"}, {199, "intersection"},
    {200, "union"}, {201, "propersuperset"}, {202, "reflexsuperset"}, {203, "notsubset"},
    {204, "propersubset"}, {205, "reflexsubset"}, {206, "element"}, {207, "notelement"},
    {208, "angle"}, {209, "gradient"}, {213, "product"}, {214, "radical"}, {215, "dotmath"},
    {216, "logicalnot"}, {217, "logicaland"}, {218, "logicalor"}, {219, "arrowdblboth"},
    {220, "arrowdblleft"}, {221, "arrowdblup"}, {222, "arrowdblright"}, {223, "arrowdbldown"},
    {229, "summation"}, {242, "integral"},
};

// The glyph list, sorted by name in byte order for binary search.
constexpr GlyphEntry kGlyphList[] = {
    {"A", 0x0041}, {"AE", 0x00C6}, {"Aacute", 0x00C1}, {"Acircumflex", 0x00C2},
    {"Adieresis", 0x00C4}, {"Agrave", 0x00C0}, {"Alpha", 0x0391}, {"Aring", 0x00C5},
    {"Atilde", 0x00C3}, {"B", 0x0042}, {"Beta", 0x0392}, {"C", 0x0043},
    {"Ccedilla", 0x00C7}, {"Chi", 0x03A7}, {"D", 0x0044}, {"Delta", 0x0394},
    {"E", 0x0045}, {"Eacute", 0x00C9}, {"Ecircumflex", 0x00CA}, {"Edieresis", 0x00CB},
    {"Egrave", 0x00C8}, {"Epsilon", 0x0395}, {"Eta", 0x0397}, {"Eth", 0x00D0},
    {"Euro", 0x20AC}, {"F", 0x0046}, {"G", 0x0047}, {"Gamma", 0x0393},
    {"H", 0x0048}, {"I", 0x0049}, {"Iacute", 0x00CD}, {"Icircumflex", 0x00CE},
    {"Idieresis", 0x00CF}, {"Ifraktur", 0x2111}, {"Igrave", 0x00CC}, {"Iota", 0x0399},
    {"J", 0x004A}, {"K", 0x004B}, {"Kappa", 0x039A}, {"L", 0x004C},
    {"Lambda", 0x039B}, {"Lslash", 0x0141}, {"M", 0x004D}, {"Mu", 0x039C},
    {"N", 0x004E}, {"Ntilde", 0x00D1}, {"Nu", 0x039D}, {"O", 0x004F},
    {"OE", 0x0152}, {"Oacute", 0x00D3}, {"Ocircumflex", 0x00D4}, {"Odieresis", 0x00D6},
    {"Ograve", 0x00D2}, {"Omega", 0x03A9}, {"Omicron", 0x039F}, {"Oslash", 0x00D8},
    {"Otilde", 0x00D5}, {"P", 0x0050}, {"Phi", 0x03A6}, {"Pi", 0x03A0},
    {"Psi", 0x03A8}, {"Q", 0x0051}, {"R", 0x0052}, {"Rfraktur", 0x211C},
    {"Rho", 0x03A1}, {"S", 0x0053}, {"Scaron", 0x0160}, {"Sigma", 0x03A3},
    {"T", 0x0054}, {"Tau", 0x03A4}, {"Theta", 0x0398}, {"Thorn", 0x00DE},
    {"U", 0x0055}, {"Uacute", 0x00DA}, {"Ucircumflex", 0x00DB}, {"Udieresis", 0x00DC},
    {"Ugrave", 0x00D9}, {"Upsilon", 0x03A5}, {"V", 0x0056}, {"W", 0x0057},
    {"X", 0x0058}, {"Xi", 0x039E}, {"Y", 0x0059}, {"Yacute", 0x00DD},
    {"Ydieresis", 0x0178}, {"Z", 0x005A}, {"Zcaron", 0x017D}, {"Zeta", 0x0396},
    {"a", 0x0061}, {"aacute", 0x00E1}, {"acircumflex", 0x00E2}, {"acute", 0x00B4},
    {"adieresis", 0x00E4}, {"ae", 0x00E6}, {"agrave", 0x00E0}, {"aleph", 0x2135},
    {"alpha", 0x03B1}, {"ampersand", 0x0026}, {"angle", 0x2220}, {"angleleft", 0x27E8},
    {"angleright", 0x27E9}, {"approxequal", 0x2248}, {"aring", 0x00E5}, {"arrowboth", 0x2194},
    {"arrowdblboth", 0x21D4}, {"arrowdbldown", 0x21D3}, {"arrowdblleft", 0x21D0},
    {"arrowdblright", 0x21D2},
    {"arrowdblup", 0x21D1}, {"arrowdown", 0x2193}, {"arrowleft", 0x2190}, {"arrowright", 0x2192},
    {"arrowup", 0x2191}, {"asciicircum", 0x005E}, {"asciitilde", 0x007E}, {"asterisk", 0x002A},
    {"asteriskmath", 0x2217}, {"at", 0x0040}, {"atilde", 0x00E3}, {"b", 0x0062},
    {"backslash", 0x005C}, {"bar", 0x007C}, {"beta", 0x03B2}, {"braceleft", 0x007B},
    {"braceright", 0x007D}, {"bracketleft", 0x005B}, {"bracketright", 0x005D}, {"breve", 0x02D8},
    {"brokenbar", 0x00A6}, {"bullet", 0x2022}, {"c", 0x0063}, {"caron", 0x02C7},
    {"ccedilla", 0x00E7}, {"cedilla", 0x00B8}, {"cent", 0x00A2}, {"chi", 0x03C7},
    {"circlemultiply", 0x2297}, {"circleplus", 0x2295}, {"circumflex", 0x02C6}, {"club", 0x2663},
    {"colon", 0x003A}, {"comma", 0x002C}, {"congruent", 0x2245}, {"copyright", 0x00A9},
    {"currency", 0x00A4}, {"d", 0x0064}, {"dagger", 0x2020}, {"daggerdbl", 0x2021},
    {"degree", 0x00B0}, {"delta", 0x03B4}, {"diamond", 0x2666}, {"dieresis", 0x00A8},
    {"divide", 0x00F7}, {"dollar", 0x0024}, {"dotaccent", 0x02D9}, {"dotlessi", 0x0131},
    {"dotlessj", 0x0237}, {"dotmath", 0x22C5}, {"e", 0x0065}, {"eacute", 0x00E9},
    {"ecircumflex", 0x00EA}, {"edieresis", 0x00EB}, {"egrave", 0x00E8}, {"eight", 0x0038},
    {"element", 0x2208}, {"ellipsis", 0x2026}, {"emdash", 0x2014}, {"emptyset", 0x2205},
    {"endash", 0x2013}, {"epsilon", 0x03B5}, {"equal", 0x003D}, {"equivalence", 0x2261},
    {"eta", 0x03B7}, {"eth", 0x00F0}, {"exclam", 0x0021}, {"exclamdown", 0x00A1},
    {"existential", 0x2203}, {"f", 0x0066}, {"ff", 0xFB00}, {"ffi", 0xFB03},
    {"ffl", 0xFB04}, {"fi", 0xFB01}, {"five", 0x0035}, {"fl", 0xFB02},
    {"florin", 0x0192}, {"four", 0x0034}, {"fraction", 0x2044}, {"g", 0x0067},
    {"gamma", 0x03B3}, {"germandbls", 0x00DF}, {"gradient", 0x2207}, {"grave", 0x0060},
    {"greater", 0x003E}, {"greaterequal", 0x2265}, {"guillemotleft", 0x00AB},
    {"guillemotright", 0x00BB},
    {"guilsinglleft", 0x2039}, {"guilsinglright", 0x203A}, {"h", 0x0068}, {"heart", 0x2665},
    {"hungarumlaut", 0x02DD}, {"hyphen", 0x002D}, {"i", 0x0069}, {"iacute", 0x00ED},
    {"icircumflex", 0x00EE}, {"idieresis", 0x00EF}, {"igrave", 0x00EC}, {"infinity", 0x221E},
    {"integral", 0x222B}, {"intersection", 0x2229}, {"iota", 0x03B9}, {"j", 0x006A},
    {"k", 0x006B}, {"kappa", 0x03BA}, {"l", 0x006C}, {"lambda", 0x03BB},
    {"less", 0x003C}, {"lessequal", 0x2264}, {"logicaland", 0x2227}, {"logicalnot", 0x00AC},
    {"logicalor", 0x2228}, {"lozenge", 0x25CA}, {"lslash", 0x0142}, {"m", 0x006D},
    {"macron", 0x00AF}, {"minus", 0x2212}, {"minute", 0x2032}, {"mu", 0x00B5},
    {"multiply", 0x00D7}, {"n", 0x006E}, {"nine", 0x0039}, {"notelement", 0x2209},
    {"notequal", 0x2260}, {"notsubset", 0x2284}, {"ntilde", 0x00F1}, {"nu", 0x03BD},
    {"numbersign", 0x0023}, {"o", 0x006F}, {"oacute", 0x00F3}, {"ocircumflex", 0x00F4},
    {"odieresis", 0x00F6}, {"oe", 0x0153}, {"ogonek", 0x02DB}, {"ograve", 0x00F2},
    {"omega", 0x03C9}, {"omega1", 0x03D6}, {"omicron", 0x03BF}, {"one", 0x0031},
    {"onehalf", 0x00BD}, {"onequarter", 0x00BC}, {"onesuperior", 0x00B9}, {"ordfeminine", 0x00AA},
    {"ordmasculine", 0x00BA}, {"oslash", 0x00F8}, {"otilde", 0x00F5}, {"p", 0x0070},
    {"paragraph", 0x00B6}, {"parenleft", 0x0028}, {"parenright", 0x0029}, {"partialdiff", 0x2202},
    {"percent", 0x0025}, {"period", 0x002E}, {"periodcentered", 0x00B7}, {"perpendicular", 0x22A5},
    {"perthousand", 0x2030}, {"phi", 0x03C6}, {"phi1", 0x03D5}, {"pi", 0x03C0},
    {"plus", 0x002B}, {"plusminus", 0x00B1}, {"product", 0x220F}, {"propersubset", 0x2282},
    {"propersuperset", 0x2283}, {"proportional", 0x221D}, {"psi", 0x03C8}, {"q", 0x0071},
    {"question", 0x003F}, {"questiondown", 0x00BF}, {"quotedbl", 0x0022}, {"quotedblbase", 0x201E},
    {"quotedblleft", 0x201C}, {"quotedblright", 0x201D}, {"quoteleft", 0x2018},
    {"quoteright", 0x2019},
    {"quotesinglbase", 0x201A}, {"quotesingle", 0x0027}, {"r", 0x0072}, {"radical", 0x221A},
    {"radicalex", 0x203E}, {"reflexsubset", 0x2286}, {"reflexsuperset", 0x2287},
    {"registered", 0x00AE},
    {"rho", 0x03C1}, {"ring", 0x02DA}, {"s", 0x0073}, {"scaron", 0x0161},
    {"second", 0x2033}, {"section", 0x00A7}, {"semicolon", 0x003B}, {"seven", 0x0037},
    {"sigma", 0x03C3}, {"sigma1", 0x03C2}, {"similar", 0x223C}, {"six", 0x0036},
    {"slash", 0x002F}, {"space", 0x0020}, {"spade", 0x2660}, {"sterling", 0x00A3},
    {"suchthat", 0x220B}, {"summation", 0x2211}, {"t", 0x0074}, {"tau", 0x03C4},
    {"therefore", 0x2234}, {"theta", 0x03B8}, {"theta1", 0x03D1}, {"thorn", 0x00FE},
    {"three", 0x0033},
    {"threequarters", 0x00BE}, {"threesuperior", 0x00B3}, {"tilde", 0x02DC}, {"trademark", 0x2122},
    {"two", 0x0032}, {"twosuperior", 0x00B2}, {"u", 0x0075}, {"uacute", 0x00FA},
    {"ucircumflex", 0x00FB}, {"udieresis", 0x00FC}, {"ugrave", 0x00F9}, {"underscore", 0x005F},
    {"union", 0x222A}, {"universal", 0x2200}, {"upsilon", 0x03C5}, {"v", 0x0076},
    {"w", 0x0077}, {"weierstrass", 0x2118}, {"x", 0x0078}, {"xi", 0x03BE},
    {"y", 0x0079}, {"yacute", 0x00FD}, {"ydieresis", 0x00FF}, {"yen", 0x00A5},
    {"z", 0x007A}, {"zcaron", 0x017E}, {"zero", 0x0030}, {"zeta", 0x03B6},
};

// TeX math font names, searched in this order.
constexpr GlyphEntry kTexMathNames[] = {
    {"angbracketleft", 0x27E8}, {"angbracketright", 0x27E9}, {"arrowhookleft", 0x21A9},
    {"arrowhookright", 0x21AA},
    {"arrowlefttophalf", 0x21BC}, {"arrowrighttophalf", 0x21C0}, {"bardbl", 0x2016},
    {"braceleft", 0x007B},
    {"braceright", 0x007D}, {"ceilingleft", 0x2308}, {"ceilingright", 0x2309},
    {"circlecopyrt", 0x00A9},
    {"circledivide", 0x2298}, {"circledot", 0x2299}, {"circleminus", 0x2296},
    {"contintegral", 0x222E},
    {"coproduct", 0x2210}, {"floorleft", 0x230A}, {"floorright", 0x230B}, {"intersection", 0x2229},
    {"logicaland", 0x2227}, {"logicalor", 0x2228}, {"negationslash", 0x2044}, {"owner", 0x220B},
    {"summation", 0x2211}, {"union", 0x222A}, {"unionmulti", 0x228E}, {"uniondbl", 0x228C},
    {"vextenddouble", 0x2016}, {"vextendsingle", 0x007C},
};
// clang-format on

using BaseTable = std::array<std::string_view, 256>;

constexpr BaseTable latin_table(std::span<const CodeName> high, bool standard) {
  BaseTable table{};
  for (size_t i = 0; i < std::size(kAsciiNames); ++i) table[32 + i] = kAsciiNames[i];
  if (standard) {
    table[39] = "quoteright";
    table[96] = "quoteleft";
  }
  for (const CodeName& entry : high) table[entry.code] = entry.name;
  return table;
}

constexpr BaseTable symbol_table() {
  BaseTable table{};
  for (uint8_t code : kSymbolAsciiCodes) table[code] = kAsciiNames[code - 32];
  for (const CodeName& entry : kSymbolOwn) table[entry.code] = entry.name;
  return table;
}

constexpr BaseTable kBaseTables[4] = {
    latin_table(kStandardHigh, true),
    latin_table(kWinAnsiHigh, false),
    latin_table(kMacRomanHigh, false),
    symbol_table(),
};

// The Symbol font's "therefore" (code 92) joins the list; without it ∴ had no text.
static_assert(std::size(kGlyphList) == 345 && std::size(kTexMathNames) == 30);
static_assert(std::ranges::is_sorted(kGlyphList, {}, &GlyphEntry::name),
              "the glyph list must stay sorted for binary search");

std::optional<char32_t> tex_math_lookup(std::string_view name) {
  for (const GlyphEntry& entry : kTexMathNames) {
    if (entry.name == name) return entry.value;
  }
  return std::nullopt;
}

std::string utf8_of(char32_t c) {
  std::string out;
  append_utf8(out, c);
  return out;
}

// TeX math names first, then the glyph list: how delimiter pieces and size variants find the
// character of their base name.
std::optional<std::string> math_or_plain(std::string_view base) {
  if (auto c = tex_math_lookup(base)) return utf8_of(*c);
  if (auto c = plain_lookup(base)) return utf8_of(*c);
  return std::nullopt;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// uniXXXX[XXXX...]: UTF-16 code units in groups of four hexadecimal digits.
std::optional<std::string> uni_name(std::string_view name) {
  if (!name.starts_with("uni")) return std::nullopt;
  std::string_view digits = name.substr(3);
  if (digits.empty() || digits.size() % 4 != 0) return std::nullopt;
  std::vector<uint16_t> units;
  units.reserve(digits.size() / 4);
  for (size_t i = 0; i < digits.size(); i += 4) {
    uint16_t unit = 0;
    for (size_t k = 0; k < 4; ++k) {
      int v = hex_value(digits[i + k]);
      if (v < 0) return std::nullopt;
      unit = static_cast<uint16_t>(unit << 4 | v);
    }
    units.push_back(unit);
  }
  std::string text = utf16_to_utf8(units);
  if (text.empty()) return std::nullopt;
  return text;
}

// uXXXX to uXXXXXX: one scalar value. A plus sign may precede the digits.
std::optional<std::string> u_name(std::string_view name) {
  if (!name.starts_with('u')) return std::nullopt;
  std::string_view digits = name.substr(1);
  if (digits.size() < 4 || digits.size() > 6) return std::nullopt;
  if (digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty()) return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    int v = hex_value(c);
    if (v < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(v);
  }
  if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
  return utf8_of(value);
}

// Bases whose tp/bt/mid/ex pieces build up a large delimiter in TeX's extension fonts.
bool is_delimiter_family(std::string_view base) {
  if (base == "vert") return true;
  auto starts = [&](std::string_view prefix) { return base.starts_with(prefix); };
  if (base.size() >= 5 &&
      (starts("paren") || starts("brace") || starts("arrow") || starts("vert"))) {
    return true;
  }
  if (base.size() >= 7 && (starts("bracket") || starts("radical"))) return true;
  if (base.size() >= 9 && starts("bracehtip")) return true;
  return base.size() >= 10 && starts("angbracket");
}

enum class PieceResult { NotAPiece, Text, Unknown };

constexpr std::string_view kPieceSuffixes[] = {"tp", "bt", "mid", "ex"};
constexpr std::string_view kSizeSuffixes[] = {"Bigg",    "bigg", "Big", "big",
                                              "display", "text", "Ex",  "ex"};

// The name with a suffix removed, when it ends with it and more than two characters remain.
std::optional<std::string_view> base_before(std::string_view name, std::string_view suffix) {
  if (!name.ends_with(suffix)) return std::nullopt;
  std::string_view base = name.substr(0, name.size() - suffix.size());
  if (base.size() <= 2) return std::nullopt;
  return base;
}

// Only the top piece of a built-up delimiter yields the delimiter's character: the bottom,
// middle and extension pieces would otherwise repeat it once per piece.
PieceResult delimiter_piece(std::string_view name, std::optional<std::string>& text) {
  for (std::string_view suffix : kPieceSuffixes) {
    std::optional<std::string_view> base = base_before(name, suffix);
    if (!base || !is_delimiter_family(*base)) continue;
    if (suffix != "tp") {
      text = std::string();
      return PieceResult::Text;
    }
    text = math_or_plain(*base);
    return text ? PieceResult::Text : PieceResult::Unknown;
  }
  return PieceResult::NotAPiece;
}

}  // namespace

std::optional<std::string_view> base_encoding_name(BaseEncoding table, uint8_t code) {
  std::string_view name = kBaseTables[static_cast<size_t>(table)][code];
  if (name.empty()) return std::nullopt;
  return name;
}

std::optional<char32_t> plain_lookup(std::string_view name) {
  auto it = std::ranges::lower_bound(kGlyphList, name, {}, &GlyphEntry::name);
  if (it == std::end(kGlyphList) || it->name != name) return std::nullopt;
  return it->value;
}

std::optional<std::string> glyph_name_to_unicode(std::string_view name) {
  // A suffixed name is retried once with the part before its first full stop, which has none.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (name.empty() || name == ".notdef") return std::nullopt;
    if (auto c = plain_lookup(name)) return utf8_of(*c);
    if (auto text = uni_name(name)) return text;
    if (auto text = u_name(name)) return text;

    std::optional<std::string> text;
    PieceResult piece = delimiter_piece(name, text);
    if (piece == PieceResult::Text) return text;
    if (piece == PieceResult::NotAPiece) {
      for (std::string_view suffix : kSizeSuffixes) {
        std::optional<std::string_view> base = base_before(name, suffix);
        if (!base) continue;
        if (auto found = math_or_plain(*base)) return found;
      }
      if (auto c = tex_math_lookup(name)) return utf8_of(*c);
    }

    size_t dot = name.find('.');
    if (dot == std::string_view::npos || dot == 0) return std::nullopt;
    name = name.substr(0, dot);
  }
  return std::nullopt;
}

std::string undo_symbol_pua(char32_t c) {
  if (is_symbol_pua(c)) {
    auto name = base_encoding_name(BaseEncoding::Symbol, static_cast<uint8_t>(c & 0xFF));
    if (name) {
      if (auto text = glyph_name_to_unicode(*name)) return *text;
    }
  }
  return utf8_of(c);
}

std::string_view strip_subset_tag(std::string_view base_name) {
  size_t plus = base_name.rfind('+');
  return plus == std::string_view::npos ? base_name : base_name.substr(plus + 1);
}

bool base_name_has(std::string_view base_name, std::string_view lower_needle) {
  std::string_view name = strip_subset_tag(base_name);
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::ranges::search(name, lower_needle, {}, lower).begin() != name.end() ||
         lower_needle.empty();
}

namespace {

std::optional<BaseEncoding> named_base(const Object* value) {
  if (value == nullptr || !value->is_name()) return std::nullopt;
  const std::string& name = *value->as_name();
  // Expert sets are read as the standard encoding: no table of their own is kept.
  if (name == "StandardEncoding" || name == "MacExpertEncoding") return BaseEncoding::Standard;
  if (name == "WinAnsiEncoding") return BaseEncoding::WinAnsi;
  if (name == "MacRomanEncoding") return BaseEncoding::MacRoman;
  return std::nullopt;
}

const Object* follow(const Object* value, const Resolver& resolver, Object& holder) {
  if (value == nullptr || !value->is_ref()) return value;
  holder = resolver.resolve(*value);
  return &holder;
}

void apply_differences(const Array& differences, const Resolver& resolver, GlyphNames& names) {
  int64_t code = 0;
  for (const Object& raw : differences) {
    Object holder;
    const Object* element = follow(&raw, resolver, holder);
    if (auto number = element->as_int()) {
      code = *number;
    } else if (const std::string* name = element->as_name()) {
      if (code >= 0 && code <= 255) names[static_cast<size_t>(code)] = *name;
      code = saturating_add<int64_t>(code, 1);
    }
  }
}

}  // namespace

GlyphNames build_encoding(const Dict& font, std::string_view base_name, bool symbolic,
                          std::span<const uint8_t> type1_program, const Resolver& resolver) {
  GlyphNames names(256);
  Object encoding_holder;
  const Object* encoding = follow(font.get("Encoding"), resolver, encoding_holder);
  const Dict* encoding_dict = encoding ? encoding->as_dict() : nullptr;

  std::optional<BaseEncoding> base = named_base(encoding);
  if (!base && encoding_dict != nullptr) {
    Object holder;
    base = named_base(follow(encoding_dict->get("BaseEncoding"), resolver, holder));
  }
  bool decided = base.has_value();

  if (!decided && !type1_program.empty()) {
    Type1Encoding builtin = read_type1_encoding(type1_program);
    if (builtin.standard) {
      base = BaseEncoding::Standard;
      decided = true;
    } else if (!builtin.names.empty()) {
      names = std::move(builtin.names);
      decided = true;
    }
  }
  if (!decided) {
    if (base_name_has(base_name, "symbol")) {
      base = BaseEncoding::Symbol;
    } else if (!symbolic) {
      base = BaseEncoding::Standard;
    }
  }

  if (base) {
    const BaseTable& table = kBaseTables[static_cast<size_t>(*base)];
    for (size_t code = 0; code < 256; ++code) names[code] = std::string(table[code]);
  }

  if (encoding_dict != nullptr) {
    Object holder;
    const Object* differences = follow(encoding_dict->get("Differences"), resolver, holder);
    if (differences != nullptr && differences->is_array()) {
      apply_differences(*differences->as_array(), resolver, names);
    }
  }
  return names;
}

void append_utf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string utf16_to_utf8(std::span<const uint16_t> units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else {
      append_utf8(out, unit);  // a lone surrogate becomes U+FFFD
    }
  }
  return out;
}

char32_t next_utf8(std::string_view text, size_t& pos) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  uint8_t lead = byte(pos);
  size_t length = lead < 0x80           ? 1
                  : (lead >> 5) == 0x6  ? 2
                  : (lead >> 4) == 0xE  ? 3
                  : (lead >> 3) == 0x1E ? 4
                                        : 0;
  if (length == 0 || pos + length > text.size()) {
    ++pos;
    return 0xFFFD;
  }
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(pos + k) & 0xC0) != 0x80) {
      ++pos;
      return 0xFFFD;
    }
    c = c << 6 | (byte(pos + k) & 0x3F);
  }
  pos += length;
  return c;
}

}  // namespace kestrum
