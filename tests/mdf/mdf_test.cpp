#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "mdf/collation.h"
#include "mdf/versions.h"
#include "mdf_fixture.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSamples = QUILLANE_SAMPLES_DIR;

class MdfTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        dir_ = fs::temp_directory_path() / ("quillane_mdf_" + std::to_string(::getpid())) / name;
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_.parent_path(), ec);
    }
    fs::path Path(const std::string& leaf) const { return dir_ / leaf; }

    fs::path dir_;
};

mdf::FixtureSpec SimpleSpec(std::u16string name = u"Fixture") {
    mdf::FixtureSpec fixture;
    fixture.databaseName = std::move(name);
    fixture.files = {{2, 1, u"fixture", u"E:\\old\\fixture.mdf"},
                     {0x100042, 2, u"fixture_log", u"E:\\old\\fixture_log.ldf"}};
    return fixture;
}

bool SameFiles(const std::vector<mdf::FileEntry>& a, const std::vector<mdf::FileEntry>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].status != b[i].status || a[i].fileId != b[i].fileId ||
            a[i].logicalName != b[i].logicalName || a[i].physicalName != b[i].physicalName) {
            return false;
        }
    }
    return true;
}

void WriteRaw(const fs::path& path, std::size_t offset, std::uint8_t byte) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(static_cast<char>(byte));
}

void Patch16(const fs::path& path, std::uint32_t page, std::size_t offset, std::uint16_t v) {
    mdf::PatchPage(path, page, offset, &v, sizeof v);
}

// The IAM at page 12 lists the file list's pages in its single-page slots (record offset 46,
// six bytes each); this fills in the second one.
void SetSecondListPage(const fs::path& path, std::uint32_t page) {
    const std::uint8_t slot[6] = {
        static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(page >> 8), 0, 0, 1, 0};
    mdf::PatchPage(path, 12, 96 + 46 + 6, slot, sizeof slot);
}

// ---------------------------------------------------------------------------------------------
// The real samples: files that SQL Server wrote, read to what their README lists.

struct SampleFile {
    std::int16_t id;
    std::u16string logicalName;
    std::u16string path;  // the whole path, or (pathIsSuffix) how it ends
    bool pathIsSuffix;
};

struct Sample {
    const char* file;
    std::int16_t version;
    std::int16_t createVersion;
    std::u16string databaseName;
    const char* bindingHex;  // from the live page 0 record (pubs keeps a stale copy at 96)
    std::vector<SampleFile> files;
};

const std::vector<Sample>& Samples() {
    static const std::vector<Sample> samples = {
        {"pubs.mdf",
         655,
         655,
         u"C:\\DBS\\PUBS.MDF",
         "4b9d9e223647854aa5896e74c957e452",
         {{1, u"pubs", u"C:\\dbs\\pubs.mdf", false},
          {2, u"pubs_log", u"C:\\dbs\\pubs_log.ldf", false}}},
        {"aspnetdb.mdf",
         611,
         611,
         u"D:\\DESARROLLO\\KSI\\TRACTIS\\DEMO\\TRACTIS_DEMO\\APP_DATA\\ASPNETDB.MDF",
         "d6b403e824cde94890cb88d744c8c89a",
         {{1, u"aspnetdb", u"\\aspnetdb.mdf", true},
          {2, u"aspnetdb_log", u"\\aspnetdb_log.LDF", true}}},
        {"database1-2012.mdf",
         706,
         706,
         u"C:\\USERS\\JAWAD\\DOCUMENTS\\VISUAL STUDIO 2012\\PROJECTS\\MVCAPPLICATION1\\"
         u"MVCAPPLICATION1\\APP_DATA\\DATABASE1.MDF",
         "ef49d20a169bd548a13bddd7c597e018",
         {{1, u"Database1", u"\\Database1.mdf", true},
          {2, u"Database1_log", u"\\Database1_log.ldf", true}}},
        {"database1-2014.mdf",
         904,
         782,
         u"C:\\USERS\\ЯН\\DESKTOP\\WEBFORMS\\APP_DATA\\DATABASE1.MDF",
         "831f9b6f195493488df17195ec5140c9",
         {{1, u"Database1", u"C:\\Users\\Ян\\Desktop\\WebForms\\App_Data\\Database1.mdf", false},
          {2, u"Database1_log", u"\\Database1_log.ldf", true}}},
    };
    return samples;
}

// Upper case for the letters these samples use (ASCII and Cyrillic), as the server records a
// path-named database.
std::u16string Upper(std::u16string s) {
    for (char16_t& c : s) {
        if ((c >= u'a' && c <= u'z') || (c >= u'а' && c <= u'я')) {
            c = static_cast<char16_t>(c - 0x20);
        }
    }
    return s;
}

std::u16string DirectoryOf(const std::u16string& path) {
    return path.substr(0, path.find_last_of(u'\\') + 1);
}

void PrintTo(const Sample& s, std::ostream* os) {
    *os << s.file;
}

class SampleTest : public MdfTest, public ::testing::WithParamInterface<Sample> {
  protected:
    void SetUp() override {
        MdfTest::SetUp();
        if (!fs::is_directory(kSamples)) {
            GTEST_SKIP() << "samples directory " << kSamples << " is absent";
        }
    }
};

TEST_P(SampleTest, ReadsWhatTheReadmeLists) {
    const Sample& s = GetParam();
    const auto r = mdf::ReadPrimaryFile(kSamples / s.file);
    ASSERT_EQ(r.status, mdf::ReadStatus::Ok) << r.detail;
    const mdf::PrimaryFile& p = r.value;

    // Printed in full, to hold against the README's abbreviated paths by eye.
    std::cout << "[ read     ] " << s.file << ": " << mdf::ToUtf8(p.databaseName) << ", version "
              << p.version << "/" << p.createVersion << "\n";
    for (const auto& f : p.files) {
        std::cout << "[ read     ]   " << f.fileId << " " << mdf::ToUtf8(f.logicalName) << " "
                  << mdf::ToUtf8(f.physicalName) << "\n";
    }

    EXPECT_EQ(p.databaseName, s.databaseName);
    EXPECT_EQ(p.version, s.version);
    EXPECT_EQ(p.createVersion, s.createVersion);
    EXPECT_EQ(mdf::BindingIdHex(p.bindingId), s.bindingHex);
    ASSERT_EQ(p.files.size(), s.files.size());
    for (std::size_t i = 0; i < s.files.size(); ++i) {
        const auto& got = p.files[i];
        const auto& want = s.files[i];
        EXPECT_EQ(got.fileId, want.id);
        EXPECT_EQ(got.logicalName, want.logicalName);
        EXPECT_EQ(mdf::IsLogFile(got), want.id == 2) << "log bit on file " << want.id;
        if (want.pathIsSuffix) {
            EXPECT_TRUE(got.physicalName.ends_with(want.path)) << mdf::ToUtf8(got.physicalName);
        } else {
            EXPECT_EQ(got.physicalName, want.path);
        }
        // Where the README elides the directory: every file sat beside the primary one.
        EXPECT_EQ(DirectoryOf(got.physicalName), DirectoryOf(p.files[0].physicalName));
    }
    // Each of these databases is named after its primary file's full path, upper-cased.
    EXPECT_EQ(Upper(p.files[0].physicalName), p.databaseName);

    const auto header = mdf::ReadFileHeader(kSamples / s.file);
    ASSERT_EQ(header.status, mdf::ReadStatus::Ok) << header.detail;
    EXPECT_EQ(header.value.fileId, 1);
    EXPECT_EQ(header.value.bindingId, p.bindingId);
}

TEST_P(SampleTest, MatchingLogCarriesTheBindingId) {
    const Sample& s = GetParam();
    const fs::path log = Path("matching.ldf");
    mdf::WriteMatchingLogFile(kSamples / s.file, log);
    const auto header = mdf::ReadFileHeader(log);
    ASSERT_EQ(header.status, mdf::ReadStatus::Ok) << header.detail;
    EXPECT_EQ(mdf::BindingIdHex(header.value.bindingId), s.bindingHex);
    EXPECT_EQ(header.value.fileId, 2);
    EXPECT_EQ(mdf::ReadPrimaryFile(log).status, mdf::ReadStatus::NotPrimary);
}

TEST_P(SampleTest, TruncatedCopiesAreReportedNotGuessed) {
    const Sample& s = GetParam();
    const fs::path copy = Path("copy.mdf");
    const struct {
        std::uintmax_t size;
        mdf::ReadStatus status;
    } cuts[] = {{0, mdf::ReadStatus::BadHeader},
                {100, mdf::ReadStatus::BadHeader},
                {mdf::kPageSize * 9, mdf::ReadStatus::NotPrimary},
                {mdf::kPageSize * 10 - 1, mdf::ReadStatus::NotPrimary},
                {mdf::kPageSize * 32, mdf::ReadStatus::Damaged},
                {mdf::kPageSize * 33 - 1, mdf::ReadStatus::Damaged},
                {mdf::kPageSize * 33, mdf::ReadStatus::Ok}};
    for (const auto& cut : cuts) {
        fs::copy_file(kSamples / s.file, copy, fs::copy_options::overwrite_existing);
        fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
        fs::resize_file(copy, cut.size);
        const auto r = mdf::ReadPrimaryFile(copy);
        EXPECT_EQ(r.status, cut.status) << "cut at " << cut.size << ": " << r.detail;
    }
}

INSTANTIATE_TEST_SUITE_P(Real, SampleTest, ::testing::ValuesIn(Samples()), [](const auto& info) {
    std::string n = info.param.file;
    for (char& c : n) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return n;
});

// ---------------------------------------------------------------------------------------------
// Fixtures written here read back to exactly what was asked for.

struct RoundTrip {
    const char* label;
    std::u16string name;
    std::u16string dataPath;
    std::u16string logPath;
    bool torn;
    std::int16_t version;
    std::size_t extraFiles;  // more data files, to spill the list past page 32
};

std::u16string LongPath(char16_t fill, const std::u16string& ext) {
    std::u16string p = u"C:\\";
    p += std::u16string(260 - p.size() - ext.size(), fill);
    return p + ext;
}

const RoundTrip kRoundTrips[] = {
    {"plain", u"Sales", u"C:\\data\\Sales.mdf", u"C:\\data\\Sales_log.ldf", false, 904, 0},
    {"plain_torn", u"Sales", u"C:\\data\\Sales.mdf", u"C:\\data\\Sales_log.ldf", true, 611, 0},
    {"cjk", u"販売データ", u"D:\\データ\\販売.mdf", u"D:\\データ\\販売_log.ldf", false, 957, 0},
    {"cjk_torn", u"販売データ", u"D:\\データ\\販売.mdf", u"D:\\データ\\販売_log.ldf", true, 706, 0},
    {"astral", u"db\U0001F600", u"C:\\x\\db.mdf", u"C:\\x\\db_log.ldf", true, 904, 0},
    {"apostrophes", u"O'Brien's ''db''", u"C:\\O'Brien\\it's.mdf", u"C:\\O'Brien\\it's_log.ldf",
     false, 869, 0},
    {"bracket", u"a]b]]c[", u"C:\\a]b\\x].mdf", u"C:\\a]b\\x]_log.ldf", true, 852, 0},
    {"trailing_space", u"name ", u"C:\\d\\n.mdf", u"C:\\d\\n_log.ldf", false, 904, 0},
    {"name_128", std::u16string(127, u'N') + u"]", u"C:\\d\\n.mdf", u"C:\\d\\n_log.ldf", false, 782,
     0},
    {"name_128_torn", std::u16string(128, u'名'), u"C:\\d\\n.mdf", u"C:\\d\\n_log.ldf", true, 782,
     0},
    {"paths_260", u"LongPaths", LongPath(u'p', u".mdf"), LongPath(u'路', u".ldf"), false, 904, 0},
    {"paths_260_torn", u"LongPaths", LongPath(u'p', u".mdf"), LongPath(u'路', u".ldf"), true, 904,
     0},
    {"spilled_list", u"ManyFiles", u"C:\\d\\m.mdf", u"C:\\d\\m_log.ldf", false, 904, 23},
    {"spilled_list_torn", u"ManyFiles", u"C:\\d\\m.mdf", u"C:\\d\\m_log.ldf", true, 904, 23},
};

void PrintTo(const RoundTrip& c, std::ostream* os) {
    *os << c.label;
}

class RoundTripTest : public MdfTest, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(RoundTripTest, ReadsBackWhatWasWritten) {
    const RoundTrip& c = GetParam();
    mdf::FixtureSpec fixture;
    fixture.databaseName = c.name;
    fixture.version = c.version;
    fixture.createVersion = 611;
    fixture.databaseId = 12;
    fixture.collationId = 53256;
    fixture.tornPageProtection = c.torn;
    fixture.files = {{2, 1, u"primary", c.dataPath}, {0x100042, 2, u"primary_log", c.logPath}};
    for (std::size_t i = 0; i < c.extraFiles; ++i) {
        const auto n = static_cast<std::int16_t>(3 + i);
        fixture.files.push_back({2, n, u"extra" + mdf::FromUtf8(std::to_string(n)),
                                 u"C:\\d\\extra" + mdf::FromUtf8(std::to_string(n)) + u".ndf"});
    }
    const fs::path mdfPath = Path("db.mdf");
    mdf::WritePrimaryFile(mdfPath, fixture);

    const auto r = mdf::ReadPrimaryFile(mdfPath);
    ASSERT_EQ(r.status, mdf::ReadStatus::Ok) << r.detail;
    EXPECT_EQ(r.value.databaseName, c.name);
    EXPECT_EQ(r.value.version, c.version);
    EXPECT_EQ(r.value.createVersion, 611);
    EXPECT_EQ(r.value.databaseId, 12);
    EXPECT_EQ(r.value.collationId, 53256u);
    EXPECT_TRUE(SameFiles(r.value.files, fixture.files));
    EXPECT_NE(r.value.bindingId, mdf::BindingId{});

    // The log made for it carries the same binding id.
    const fs::path ldfPath = Path("db_log.ldf");
    mdf::WriteMatchingLogFile(mdfPath, ldfPath);
    const auto log = mdf::ReadFileHeader(ldfPath);
    ASSERT_EQ(log.status, mdf::ReadStatus::Ok) << log.detail;
    EXPECT_EQ(log.value.bindingId, r.value.bindingId);
    EXPECT_EQ(log.value.fileId, 2);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RoundTripTest, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(MdfTest, TornPagesReallyMoveTheBits) {
    mdf::FixtureSpec fixture = SimpleSpec();
    fixture.tornPageProtection = true;
    const fs::path path = Path("torn.mdf");
    mdf::WritePrimaryFile(path, fixture);
    ASSERT_TRUE(mdf::ReadPrimaryFile(path));

    // Drop the torn flag from page 32 without restoring its bits: the slot array at the end of
    // the page is now as stored on disk, and must not read as the same list.
    std::ifstream in(path, std::ios::binary);
    in.seekg(32 * mdf::kPageSize + 5);
    const auto flagHigh = static_cast<std::uint8_t>(in.get());
    in.close();
    ASSERT_TRUE(flagHigh & 0x01) << "page 32 should carry flag 0x100";
    WriteRaw(path, 32 * mdf::kPageSize + 5, static_cast<std::uint8_t>(flagHigh & ~0x01));
    const auto r = mdf::ReadPrimaryFile(path);
    EXPECT_FALSE(r.status == mdf::ReadStatus::Ok && SameFiles(r.value.files, fixture.files));
}

TEST_F(MdfTest, BindingIdIsKeptOrDerived) {
    mdf::FixtureSpec fixture = SimpleSpec();
    ASSERT_TRUE(mdf::ParseBindingId("00112233445566778899aabbccddeeff", fixture.bindingId));
    mdf::WritePrimaryFile(Path("given.mdf"), fixture);
    EXPECT_EQ(mdf::BindingIdHex(mdf::ReadPrimaryFile(Path("given.mdf")).value.bindingId),
              "00112233445566778899aabbccddeeff");

    // Left zero: stable for a name, different between names.
    mdf::WritePrimaryFile(Path("a1.mdf"), SimpleSpec(u"A"));
    mdf::WritePrimaryFile(Path("a2.mdf"), SimpleSpec(u"A"));
    mdf::WritePrimaryFile(Path("b.mdf"), SimpleSpec(u"B"));
    const auto a1 = mdf::ReadFileHeader(Path("a1.mdf")).value.bindingId;
    EXPECT_EQ(a1, mdf::ReadFileHeader(Path("a2.mdf")).value.bindingId);
    EXPECT_NE(a1, mdf::ReadFileHeader(Path("b.mdf")).value.bindingId);
    EXPECT_NE(a1, mdf::BindingId{});
}

TEST_F(MdfTest, WriterRejectsWhatNoServerWouldRecord) {
    EXPECT_THROW(mdf::WritePrimaryFile(Path("x.mdf"), SimpleSpec(std::u16string(129, u'n'))),
                 std::invalid_argument);
    EXPECT_THROW(mdf::WritePrimaryFile(Path("x.mdf"), SimpleSpec(u"")), std::invalid_argument);
    mdf::FixtureSpec longPath = SimpleSpec();
    longPath.files[0].physicalName = LongPath(u'p', u".mdf") + u"x";
    EXPECT_THROW(mdf::WritePrimaryFile(Path("x.mdf"), longPath), std::invalid_argument);
    EXPECT_THROW(mdf::WritePrimaryFile(Path("no/such/dir/x.mdf"), SimpleSpec()),
                 std::runtime_error);
}

// Ids as COLLATIONPROPERTY(name, 'CollationID') gives them on SQL Server 2017, one or two of each
// kind the id layout tells apart, and ids no collation has.
TEST(MdfCollation, NamesAsSqlServerSpellsThem) {
    const std::vector<std::pair<std::uint32_t, const char16_t*>> table{
        {872468488, u"SQL_Latin1_General_CP1_CI_AS"},  // the server default (database1 samples)
        {53256, u"Latin1_General_CI_AS"},              // pubs
        {53288, u"Modern_Spanish_CI_AS"},              // aspnetdb
        {1, u"Arabic_CS_AS_KS_WS"},                    // every sensitivity on, family 1
        {61464, u"Albanian_CI_AI"},
        {65544, u"Latin1_General_BIN"},
        {2056, u"Latin1_General_BIN2"},
        {315400, u"Latin1_General_100_CI_AS"},
        {315656, u"Latin1_General_100_CI_AS_SC"},
        {264200, u"Latin1_General_100_BIN2"},
        {184368, u"Japanese_90_CI_AS"},  // _90 families have their own index
        {53264, u"Japanese_CI_AS"},
        {184629, u"Indic_General_90_CI_AS_SC"},
        {447304, u"Japanese_XJIS_140_CI_AS"},      // _140 is always supplementary...
        {446792, u"Japanese_XJIS_140_CI_AS_VSS"},  // ...and says when it is variation-sensitive
        {458824, u"Japanese_XJIS_140_BIN"},
        {503382024, u"SQL_Latin1_General_CP437_BIN"},  // one sort order, two binary collations
        {503318536, u"SQL_Latin1_General_CP437_BIN2"},
        {3070283781u, u"SQL_Danish_Pref_CP1_CI_AS"},  // sort order above 127
        {1006686218, u"SQL_Scandinavian_CP850_CI_AS"},
    };
    for (const auto& [id, name] : table) {
        EXPECT_EQ(mdf::CollationName(id), std::optional<std::u16string_view>(name)) << id;
    }
    const std::uint32_t unknown[] = {
        0,
        53256 | (1u << 8),    // _SC did not exist before _90
        53256 | (1u << 10),   // a bit no 2017 collation sets (the _UTF8 ones are not known)
        0xD000 | 33,          // family 33 is not used
        315400 | (5u << 17),  // version 5
        0x3400D009,           // sort order 52 with another family's bits
    };
    for (const std::uint32_t id : unknown) {
        EXPECT_EQ(mdf::CollationName(id), std::nullopt) << id;
    }
}

TEST(MdfText, BindingIdTextForms) {
    mdf::BindingId id{};
    EXPECT_TRUE(mdf::ParseBindingId("4B9D9E223647854AA5896E74C957E452", id));
    EXPECT_EQ(mdf::BindingIdHex(id), "4b9d9e223647854aa5896e74c957e452");
    // The display form swaps the first three groups, as DBCC FILEHEADER shows them.
    EXPECT_EQ(mdf::BindingIdGuid(id), "229E9D4B-4736-4A85-A589-6E74C957E452");
    for (const char* bad :
         {"", "4b9d9e223647854aa5896e74c957e45", "4b9d9e223647854aa5896e74c957e4521",
          "229E9D4B-4736-4A85-A589-6E74C957E452", "zz9d9e223647854aa5896e74c957e452"}) {
        EXPECT_FALSE(mdf::ParseBindingId(bad, id)) << bad;
    }
}

TEST(MdfText, Utf8RoundTripAndInvalidInput) {
    const std::u16string text = u"Ян 販売 \U0001F600 ']";
    EXPECT_EQ(mdf::FromUtf8(mdf::ToUtf8(text)), text);
    EXPECT_EQ(mdf::ToUtf8(u"Ян"), "\xD0\xAF\xD0\xBD");
    EXPECT_EQ(mdf::FromUtf8("a\xFF"
                            "b"),
              u"a\uFFFDb");
    EXPECT_EQ(mdf::FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong '/'
    EXPECT_EQ(mdf::FromUtf8("\xE6\x97"), u"\uFFFD\uFFFD");  // cut short
}

// A second log file takes whatever id is free: only the status bit says which files are logs.
TEST_F(MdfTest, LogFilesAreKnownByTheirStatusNotTheirId) {
    mdf::FixtureSpec fixture = SimpleSpec();
    fixture.files.push_back({2, 3, u"more", u"E:\\old\\more.ndf"});
    fixture.files.push_back({0x100042, 4, u"log2", u"F:\\logs\\log2.ldf"});
    mdf::WritePrimaryFile(Path("four.mdf"), fixture);
    const auto r = mdf::ReadPrimaryFile(Path("four.mdf"));
    ASSERT_EQ(r.status, mdf::ReadStatus::Ok) << r.detail;
    std::vector<bool> logs;
    for (const auto& f : r.value.files) {
        logs.push_back(mdf::IsLogFile(f));
    }
    EXPECT_EQ(logs, (std::vector<bool>{false, true, false, true}));
}

TEST(MdfVersions, ReleasesThatWriteAndAttach) {
    struct Case {
        int version;
        const char* writes;    // "" for none
        const char* attaches;  // "" for none
    };
    const Case cases[] = {
        {611, "SQL Server 2005", "SQL Server 2005"},
        {612, "SQL Server 2005", "SQL Server 2005"},
        {655, "SQL Server 2008", "SQL Server 2008"},
        {661, "SQL Server 2008 R2", "SQL Server 2008 R2"},
        {706, "SQL Server 2012", "SQL Server 2012"},
        {782, "SQL Server 2014", "SQL Server 2014"},
        {852, "SQL Server 2016", "SQL Server 2016"},
        {869, "SQL Server 2017", "SQL Server 2017"},
        {904, "SQL Server 2019", "SQL Server 2019"},
        {957, "SQL Server 2022", "SQL Server 2022"},
        // Versions only pre-release builds wrote: attached by the next release.
        {539, "", "SQL Server 2005"},
        {895, "", "SQL Server 2019"},
        {950, "", "SQL Server 2022"},
        // Newer than any release: error 948 everywhere.
        {958, "", ""},
        {32767, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mdf::ReleaseWriting(c.version).value_or(""), c.writes) << c.version;
        EXPECT_EQ(mdf::OldestReleaseAttaching(c.version).value_or(""), c.attaches) << c.version;
    }
    EXPECT_EQ(mdf::kNewestKnownVersion, 957);
}

// ---------------------------------------------------------------------------------------------
// Damaged files: a status, never a crash and never a made-up answer.

struct Damage {
    const char* label;
    bool torn;
    std::function<void(const fs::path&)> apply;
    mdf::ReadStatus status;
};

const Damage kDamages[] = {
    {"empty", false, [](const fs::path& p) { fs::resize_file(p, 0); }, mdf::ReadStatus::BadHeader},
    {"half_a_page", false, [](const fs::path& p) { fs::resize_file(p, 4096); },
     mdf::ReadStatus::BadHeader},
    {"header_page_only", false, [](const fs::path& p) { fs::resize_file(p, mdf::kPageSize); },
     mdf::ReadStatus::NotPrimary},
    {"no_page_32", false, [](const fs::path& p) { fs::resize_file(p, 32 * mdf::kPageSize); },
     mdf::ReadStatus::Damaged},
    {"page0_not_file_header", false, [](const fs::path& p) { Patch16(p, 0, 0, 0x0101); },
     mdf::ReadStatus::BadHeader},
    {"page0_no_variable_columns", false, [](const fs::path& p) { Patch16(p, 0, 96 + 17, 0); },
     mdf::ReadStatus::BadHeader},
    {"page0_slot_outside", true, [](const fs::path& p) { Patch16(p, 0, 8190, 8191); },
     mdf::ReadStatus::BadHeader},
    {"page9_not_boot_page", false, [](const fs::path& p) { Patch16(p, 9, 0, 0x0101); },
     mdf::ReadStatus::NotPrimary},
    {"name_length_258", false, [](const fs::path& p) { Patch16(p, 9, 404, 258); },
     mdf::ReadStatus::Damaged},
    {"name_length_258_torn", true, [](const fs::path& p) { Patch16(p, 9, 404, 258); },
     mdf::ReadStatus::Damaged},
    {"name_length_odd", false, [](const fs::path& p) { Patch16(p, 9, 404, 7); },
     mdf::ReadStatus::Damaged},
    {"name_length_zero", true, [](const fs::path& p) { Patch16(p, 9, 404, 0); },
     mdf::ReadStatus::Damaged},
    {"boot_record_overruns_page", false, [](const fs::path& p) { Patch16(p, 9, 98, 8100); },
     mdf::ReadStatus::Damaged},
    {"edit_without_checksum", false, [](const fs::path& p) { WriteRaw(p, 9 * 8192 + 150, 'X'); },
     mdf::ReadStatus::Damaged},
    {"list_slot_past_page", false, [](const fs::path& p) { Patch16(p, 32, 8190, 8000); },
     mdf::ReadStatus::Damaged},
    {"list_slot_past_page_torn", true, [](const fs::path& p) { Patch16(p, 32, 8188, 7600); },
     mdf::ReadStatus::Damaged},
    {"list_slot_in_header", false, [](const fs::path& p) { Patch16(p, 32, 8190, 40); },
     mdf::ReadStatus::Damaged},
    {"list_slot_count_huge", false, [](const fs::path& p) { Patch16(p, 32, 22, 5000); },
     mdf::ReadStatus::Damaged},
    {"list_record_not_786", false, [](const fs::path& p) { Patch16(p, 32, 96 + 2, 700); },
     mdf::ReadStatus::Damaged},
    {"list_other_object", false, [](const fs::path& p) { Patch16(p, 32, 24, 9); },
     mdf::ReadStatus::Damaged},
    {"list_all_ghosts", false,
     [](const fs::path& p) {
         Patch16(p, 32, 96, 0x1a);
         Patch16(p, 32, 96 + 792, 0x1a);
     },
     mdf::ReadStatus::Damaged},
    {"iam_names_page_past_end", false, [](const fs::path& p) { SetSecondListPage(p, 999); },
     mdf::ReadStatus::Damaged},
    {"iam_names_page_32_twice", false, [](const fs::path& p) { SetSecondListPage(p, 32); },
     mdf::ReadStatus::Damaged},
    {"iam_names_a_non_list_page", false, [](const fs::path& p) { SetSecondListPage(p, 9); },
     mdf::ReadStatus::Damaged},
};

void PrintTo(const Damage& d, std::ostream* os) {
    *os << d.label;
}

class DamageTest : public MdfTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamageTest, GivesAStatus) {
    const Damage& d = GetParam();
    mdf::FixtureSpec fixture = SimpleSpec();
    fixture.tornPageProtection = d.torn;
    const fs::path path = Path("damaged.mdf");
    mdf::WritePrimaryFile(path, fixture);
    d.apply(path);
    const auto r = mdf::ReadPrimaryFile(path);
    EXPECT_EQ(r.status, d.status) << r.detail;
    EXPECT_FALSE(r.detail.empty());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DamageTest, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(MdfTest, GhostRecordsInTheListAreSkipped) {
    const fs::path path = Path("ghost.mdf");
    mdf::WritePrimaryFile(path, SimpleSpec());
    const std::uint8_t ghost = 0x1a;  // record type 5
    mdf::PatchPage(path, 32, 96 + 792, &ghost, 1);
    const auto r = mdf::ReadPrimaryFile(path);
    ASSERT_EQ(r.status, mdf::ReadStatus::Ok) << r.detail;
    ASSERT_EQ(r.value.files.size(), 1u);
    EXPECT_EQ(r.value.files[0].fileId, 1);
}

// Random bytes dropped into the pages the reader looks at, resealed so that the parsers (not
// just the checksum) see them: the reader must answer with some status every time.
TEST_F(MdfTest, GarbledCopiesNeverCrash) {
    std::vector<fs::path> sources;
    for (const bool torn : {false, true}) {
        mdf::FixtureSpec fixture = SimpleSpec(u"Fuzz");
        fixture.tornPageProtection = torn;
        sources.push_back(Path(torn ? "torn.mdf" : "plain.mdf"));
        mdf::WritePrimaryFile(sources.back(), fixture);
    }
    if (fs::exists(kSamples / "pubs.mdf")) {
        sources.push_back(kSamples / "pubs.mdf");
    }
    std::mt19937 rng(20240611);
    const fs::path copy = Path("garbled.mdf");
    const std::uint32_t pages[] = {0, 9, 12, 32};
    int ok = 0;
    for (const fs::path& source : sources) {
        for (int round = 0; round < 150; ++round) {
            fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
            fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
            for (int edit = 0; edit < 1 + static_cast<int>(rng() % 4); ++edit) {
                const std::uint32_t page = pages[rng() % 4];
                // Aim at the header and slot array half the time: that is where offsets live.
                std::size_t offset = rng() % mdf::kPageSize;
                if (rng() % 2 == 0) {
                    offset = rng() % 2 ? rng() % 96 : mdf::kPageSize - 1 - rng() % 32;
                }
                std::uint8_t bytes[4];
                for (auto& b : bytes) {
                    b = static_cast<std::uint8_t>(rng());
                }
                const std::size_t n = std::min<std::size_t>(1 + rng() % 4, mdf::kPageSize - offset);
                mdf::PatchPage(copy, page, offset, bytes, n);
            }
            if (rng() % 8 == 0) {
                fs::resize_file(copy, rng() % (34 * mdf::kPageSize));
            }
            const auto r = mdf::ReadPrimaryFile(copy);
            ASSERT_NE(r.status, mdf::ReadStatus::NotFound);
            ASSERT_NE(r.status, mdf::ReadStatus::AccessDenied);
            if (r) {
                ++ok;
                EXPECT_LE(r.value.databaseName.size(), 128u);
                EXPECT_FALSE(r.value.files.empty());
            } else {
                EXPECT_FALSE(r.detail.empty());
            }
            (void)mdf::ReadFileHeader(copy);
        }
    }
    std::cout << "[ fuzz     ] " << ok << " garbled copies still read as primary files\n";
}

// ---------------------------------------------------------------------------------------------
// Paths that cannot be read: the operating-system answers a server would give.

TEST_F(MdfTest, MissingPathsAreNotFound) {
    mdf::WritePrimaryFile(Path("real.mdf"), SimpleSpec());
    for (const fs::path& p :
         {Path("missing.mdf"), Path("nodir") / "x.mdf", Path("real.mdf") / "x.mdf" /* ENOTDIR */}) {
        EXPECT_EQ(mdf::ReadPrimaryFile(p).status, mdf::ReadStatus::NotFound) << p;
        EXPECT_EQ(mdf::ReadFileHeader(p).status, mdf::ReadStatus::NotFound) << p;
    }
}

TEST_F(MdfTest, DirectoryIsAccessDenied) {
    EXPECT_EQ(mdf::ReadPrimaryFile(dir_).status, mdf::ReadStatus::AccessDenied);
    EXPECT_EQ(mdf::ReadFileHeader(dir_).status, mdf::ReadStatus::AccessDenied);
}

TEST_F(MdfTest, UnreadableFileIsAccessDenied) {
    const fs::path path = Path("locked.mdf");
    mdf::WritePrimaryFile(path, SimpleSpec());
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    auto bothDenied = [&] {
        return mdf::ReadPrimaryFile(path).status == mdf::ReadStatus::AccessDenied &&
               mdf::ReadFileHeader(path).status == mdf::ReadStatus::AccessDenied;
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(bothDenied());
        return;
    }
    // Root reads files whatever their permission bits; ask as "nobody" in a child instead.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(2);
        }
        ::_exit(bothDenied() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) {
        GTEST_SKIP() << "running as root and cannot drop to uid 65534 to see the denial";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a file with mode 000 was not reported AccessDenied";
}

}  // namespace
