#include "mdf/collation.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace mdf {
namespace {

// A collation id, as COLLATIONPROPERTY(name, 'CollationID') gives it and the boot page records it:
//   bits 0-7    the Windows collation family (8 is Latin1_General)
//   bit 8       _SC, supplementary characters (set on every _140 collation but _BIN and _BIN2)
//   bit 9       on a _140 collation: variation selectors ignored (no _VSS in the name)
//   bit 11      _BIN2
//   bits 12-15  case, accent, kana type and width ignored: _CI, _AI, no _KS, no _WS
//   bit 16      _BIN
//   bits 17-23  the version: 0, 1 (_90), 2 (_100), 3 (_140)
//   bits 24-31  a SQL collation's sort order id; 0 for a Windows collation
// Checked against every collation SQL Server 2017 lists in sys.fn_helpcollations() (3,955). The
// _UTF8 collations of 2019 and later are not in that list; their ids are left unnamed.
constexpr std::uint32_t kSupplementary = 1u << 8;
constexpr std::uint32_t kVariationIgnored = 1u << 9;
constexpr std::uint32_t kBin2 = 1u << 11;
constexpr std::uint32_t kIgnoreCase = 1u << 12;
constexpr std::uint32_t kIgnoreAccent = 1u << 13;
constexpr std::uint32_t kIgnoreKana = 1u << 14;
constexpr std::uint32_t kIgnoreWidth = 1u << 15;
constexpr std::uint32_t kBin = 1u << 16;
constexpr int kVersionShift = 17;

// Which versions of a family exist, one bit each.
constexpr unsigned kPlain = 1u << 0, k90 = 1u << 1, k100 = 1u << 2, k140 = 1u << 3;
constexpr const char16_t* kVersionSuffix[] = {u"", u"_90", u"_100", u"_140"};

struct Family {
    std::uint8_t index;
    unsigned versions;
    const char16_t* name;
};

constexpr Family kFamilies[] = {
    {1, kPlain | k100, u"Arabic"},
    {2, k100, u"Dari"},
    {3, kPlain, u"Chinese_Taiwan_Stroke"},
    {4, kPlain | k100, u"Czech"},
    {5, kPlain, u"Danish_Norwegian"},
    {6, k100, u"Yakut"},
    {7, kPlain | k100, u"Greek"},
    {8, kPlain | k100, u"Latin1_General"},
    {9, kPlain | k100, u"Traditional_Spanish"},
    {10, kPlain | k100, u"Finnish_Swedish"},
    {11, kPlain | k100, u"French"},
    {12, kPlain | k100, u"Hebrew"},
    {13, kPlain | k100, u"Hungarian"},
    {14, kPlain | k100, u"Icelandic"},
    {15, k100, u"Corsican"},
    {16, kPlain, u"Japanese"},
    {17, kPlain, u"Korean_Wansung"},
    {18, k100, u"Maori"},
    {19, kPlain | k100, u"Polish"},
    {20, kPlain | k100, u"Romanian"},
    {21, kPlain | k100, u"Cyrillic_General"},
    {22, kPlain | k100, u"Croatian"},
    {23, kPlain | k100, u"Slovak"},
    {24, kPlain | k100, u"Albanian"},
    {25, kPlain | k100, u"Thai"},
    {26, kPlain | k100, u"Turkish"},
    {27, kPlain | k100, u"Ukrainian"},
    {28, kPlain | k100, u"Slovenian"},
    {29, kPlain | k100, u"Estonian"},
    {30, kPlain | k100, u"Latvian"},
    {31, kPlain | k100, u"Lithuanian"},
    {32, kPlain | k100, u"Vietnamese"},
    {36, kPlain, u"Chinese_PRC"},
    {37, k100, u"Uighur"},
    {38, k100, u"Breton"},
    {40, kPlain | k100, u"Modern_Spanish"},
    {41, kPlain | k100, u"German_PhoneBook"},
    {42, kPlain | k100, u"Hungarian_Technical"},
    {43, kPlain, u"Japanese_Unicode"},
    {45, kPlain | k100, u"Georgian_Modern_Sort"},
    {46, kPlain, u"Chinese_PRC_Stroke"},
    {47, kPlain, u"Chinese_Taiwan_Bopomofo"},
    {48, k90, u"Japanese"},
    {49, k90, u"Chinese_PRC"},
    {50, k90, u"Chinese_PRC_Stroke"},
    {51, k90, u"Chinese_Taiwan_Bopomofo"},
    {52, k90, u"Chinese_Taiwan_Stroke"},
    {53, k90 | k100, u"Indic_General"},
    {55, k90 | k100, u"Kazakh"},
    {56, k90 | k100, u"Uzbek_Latin"},
    {57, k90 | k100, u"Tatar"},
    {58, k90 | k100, u"Macedonian_FYROM"},
    {59, k90 | k100, u"Syriac"},
    {60, k90 | k100, u"Divehi"},
    {62, k90, u"Chinese_Hong_Kong_Stroke"},
    {63, k100, u"Mohawk"},
    {64, k90 | k100, u"Korean"},
    {65, k100, u"Chinese_Traditional_Stroke_Count"},
    {66, k100, u"Chinese_Traditional_Bopomofo"},
    {67, k100, u"Chinese_Simplified_Pinyin"},
    {68, k100, u"Chinese_Simplified_Stroke_Order"},
    {69, k100, u"Chinese_Traditional_Pinyin"},
    {70, k100, u"Chinese_Traditional_Stroke_Order"},
    {71, k100, u"Danish_Greenlandic"},
    {72, k100 | k140, u"Japanese_XJIS"},
    {73, k100 | k140, u"Japanese_Bushu_Kakusu"},
    {74, k100, u"Norwegian"},
    {75, k100, u"Romansh"},
    {76, k100, u"Serbian_Latin"},
    {77, k100, u"Serbian_Cyrillic"},
    {78, k100, u"Bosnian_Latin"},
    {79, k100, u"Bosnian_Cyrillic"},
    {80, k100, u"Urdu"},
    {81, k100, u"Persian"},
    {82, k100, u"Mapudungan"},
    {83, k100, u"Upper_Sorbian"},
    {84, k100, u"Bashkir"},
    {85, k100, u"Maltese"},
    {86, k100, u"Sami_Norway"},
    {87, k100, u"Sami_Sweden_Finland"},
    {88, k100, u"Turkmen"},
    {89, k100, u"Bengali"},
    {90, k100, u"Assamese"},
    {91, k100, u"Pashto"},
    {92, k100, u"Tibetan"},
    {93, k100, u"Welsh"},
    {94, k100, u"Khmer"},
    {95, k100, u"Lao"},
    {96, k100, u"Frisian"},
    {97, k100, u"Tamazight"},
    {98, k100, u"Nepali"},
    {99, k100, u"Azeri_Latin"},
    {100, k100, u"Azeri_Cyrillic"},
};

// SQL collations are named by the whole id: their sort order alone does not tell _BIN from _BIN2.
struct SqlCollation {
    std::uint32_t id;
    const char16_t* name;
};

constexpr SqlCollation kSqlCollations[] = {
    {503318536u, u"SQL_Latin1_General_CP437_BIN2"},
    {503382024u, u"SQL_Latin1_General_CP437_BIN"},
    {520142856u, u"SQL_Latin1_General_CP437_CS_AS"},
    {536924168u, u"SQL_Latin1_General_CP437_CI_AS"},
    {553701384u, u"SQL_Latin1_General_Pref_CP437_CI_AS"},
    {570486792u, u"SQL_Latin1_General_CP437_CI_AI"},
    {671090696u, u"SQL_Latin1_General_CP850_BIN2"},
    {671154184u, u"SQL_Latin1_General_CP850_BIN"},
    {687915016u, u"SQL_Latin1_General_CP850_CS_AS"},
    {704696328u, u"SQL_Latin1_General_CP850_CI_AS"},
    {721473544u, u"SQL_Latin1_General_Pref_CP850_CI_AS"},
    {738258952u, u"SQL_Latin1_General_CP850_CI_AI"},
    {822136840u, u"SQL_1xCompat_CP850_CI_AS"},
    {855687176u, u"SQL_Latin1_General_CP1_CS_AS"},
    {872468488u, u"SQL_Latin1_General_CP1_CI_AS"},
    {889245704u, u"SQL_Latin1_General_Pref_CP1_CI_AS"},
    {906031112u, u"SQL_Latin1_General_CP1_CI_AI"},
    {922796040u, u"SQL_AltDiction_CP850_CS_AS"},
    {939577352u, u"SQL_AltDiction_Pref_CP850_CI_AS"},
    {956362760u, u"SQL_AltDiction_CP850_CI_AI"},
    {973131786u, u"SQL_Scandinavian_Pref_CP850_CI_AS"},
    {989904906u, u"SQL_Scandinavian_CP850_CS_AS"},
    {1006686218u, u"SQL_Scandinavian_CP850_CI_AS"},
    {1023463432u, u"SQL_AltDiction_CP850_CI_AS"},
    {1359003656u, u"SQL_Latin1_General_CP1250_CS_AS"},
    {1375784968u, u"SQL_Latin1_General_CP1250_CI_AS"},
    {1392558084u, u"SQL_Czech_CP1250_CS_AS"},
    {1409339396u, u"SQL_Czech_CP1250_CI_AS"},
    {1426112525u, u"SQL_Hungarian_CP1250_CS_AS"},
    {1442893837u, u"SQL_Hungarian_CP1250_CI_AS"},
    {1459666963u, u"SQL_Polish_CP1250_CS_AS"},
    {1476448275u, u"SQL_Polish_CP1250_CI_AS"},
    {1493221396u, u"SQL_Romanian_CP1250_CS_AS"},
    {1510002708u, u"SQL_Romanian_CP1250_CI_AS"},
    {1526775830u, u"SQL_Croatian_CP1250_CS_AS"},
    {1543557142u, u"SQL_Croatian_CP1250_CI_AS"},
    {1560330263u, u"SQL_Slovak_CP1250_CS_AS"},
    {1577111575u, u"SQL_Slovak_CP1250_CI_AS"},
    {1593884700u, u"SQL_Slovenian_CP1250_CS_AS"},
    {1610666012u, u"SQL_Slovenian_CP1250_CI_AS"},
    {1761656840u, u"SQL_Latin1_General_CP1251_CS_AS"},
    {1778438152u, u"SQL_Latin1_General_CP1251_CI_AS"},
    {1795211291u, u"SQL_Ukrainian_CP1251_CS_AS"},
    {1811992603u, u"SQL_Ukrainian_CP1251_CI_AS"},
    {1895874568u, u"SQL_Latin1_General_CP1253_CS_AS"},
    {1912655880u, u"SQL_Latin1_General_CP1253_CI_AS"},
    {2013315080u, u"SQL_MixDiction_CP1253_CS_AS"},
    {2046869512u, u"SQL_AltDiction2_CP1253_CS_AS"},
    {2080436232u, u"SQL_Latin1_General_CP1253_CI_AI"},
    {2164310042u, u"SQL_Latin1_General_CP1254_CS_AS"},
    {2181091354u, u"SQL_Latin1_General_CP1254_CI_AS"},
    {2298527752u, u"SQL_Latin1_General_CP1255_CS_AS"},
    {2315309064u, u"SQL_Latin1_General_CP1255_CI_AS"},
    {2432745480u, u"SQL_Latin1_General_CP1256_CS_AS"},
    {2449526792u, u"SQL_Latin1_General_CP1256_CI_AS"},
    {2566963208u, u"SQL_Latin1_General_CP1257_CS_AS"},
    {2583744520u, u"SQL_Latin1_General_CP1257_CI_AS"},
    {2600517661u, u"SQL_Estonian_CP1257_CS_AS"},
    {2617298973u, u"SQL_Estonian_CP1257_CI_AS"},
    {2634072094u, u"SQL_Latvian_CP1257_CS_AS"},
    {2650853406u, u"SQL_Latvian_CP1257_CI_AS"},
    {2667626527u, u"SQL_Lithuanian_CP1257_CS_AS"},
    {2684407839u, u"SQL_Lithuanian_CP1257_CI_AS"},
    {3070283781u, u"SQL_Danish_Pref_CP1_CI_AS"},
    {3087061002u, u"SQL_SwedishPhone_Pref_CP1_CI_AS"},
    {3103838218u, u"SQL_SwedishStd_Pref_CP1_CI_AS"},
    {3120615438u, u"SQL_Icelandic_Pref_CP1_CI_AS"},
    {3523264520u, u"SQL_EBCDIC037_CP1_CS_AS"},
    {3540041769u, u"SQL_EBCDIC273_CP1_CS_AS"},
    {3556818949u, u"SQL_EBCDIC277_CP1_CS_AS"},
    {3573596170u, u"SQL_EBCDIC278_CP1_CS_AS"},
    {3590373384u, u"SQL_EBCDIC280_CP1_CS_AS"},
    {3607150632u, u"SQL_EBCDIC284_CP1_CS_AS"},
    {3623927816u, u"SQL_EBCDIC285_CP1_CS_AS"},
    {3640705035u, u"SQL_EBCDIC297_CP1_CS_AS"},
    {3657482245u, u"SQL_EBCDIC277_2_CP1_CS_AS"},
    {3674259497u, u"SQL_EBCDIC1141_CP1_CS_AS"},
};

using Names = std::vector<std::pair<std::uint32_t, std::u16string>>;

// Every comparison style of one family at one version: _BIN, _BIN2 and the sixteen sensitivity
// combinations, with and without _SC from _90 on; a _140 collation is always _SC and comes with
// and without _VSS instead.
void AddFamily(Names& out, const Family& f, int version) {
    const std::u16string name = std::u16string(f.name) + kVersionSuffix[version];
    const std::uint32_t base = f.index | (std::uint32_t(version) << kVersionShift);
    out.emplace_back(base | kBin, name + u"_BIN");
    out.emplace_back(base | kBin2, name + u"_BIN2");
    for (int style = 0; style < 16; ++style) {
        const bool cs = (style & 1) != 0, as = (style & 2) != 0, ks = (style & 4) != 0,
                   ws = (style & 8) != 0;
        const std::uint32_t id = base | (cs ? 0 : kIgnoreCase) | (as ? 0 : kIgnoreAccent) |
                                 (ks ? 0 : kIgnoreKana) | (ws ? 0 : kIgnoreWidth);
        const std::u16string styled = name + (cs ? u"_CS" : u"_CI") + (as ? u"_AS" : u"_AI") +
                                      (ks ? u"_KS" : u"") + (ws ? u"_WS" : u"");
        if (version == 3) {
            out.emplace_back(id | kSupplementary | kVariationIgnored, styled);
            out.emplace_back(id | kSupplementary, styled + u"_VSS");
            continue;
        }
        out.emplace_back(id, styled);
        if (version > 0)
            out.emplace_back(id | kSupplementary, styled + u"_SC");
    }
}

Names AllNames() {
    Names out;
    for (const Family& f : kFamilies) {
        for (int version = 0; version < 4; ++version) {
            if (f.versions & (1u << version))
                AddFamily(out, f, version);
        }
    }
    for (const SqlCollation& c : kSqlCollations)
        out.emplace_back(c.id, c.name);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

std::optional<std::u16string_view> CollationName(std::uint32_t id) {
    static const Names names = AllNames();
    const auto it =
        std::lower_bound(names.begin(), names.end(), id,
                         [](const auto& entry, std::uint32_t v) { return entry.first < v; });
    if (it == names.end() || it->first != id)
        return std::nullopt;
    return it->second;
}

}  // namespace mdf
