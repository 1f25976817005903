#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <locale>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Frame.h"
#include "tovra.h"

using namespace tovra;
namespace fs = std::filesystem;

namespace {

struct CollectionDeleter {
    void operator()(TovraFrameCollHandle_* frc) const { FRC_Delete(frc); }
};
using Collection = std::unique_ptr<TovraFrameCollHandle_, CollectionDeleter>;

// Frame-definition files in a temporary folder of their own, removed after each test.
class FrameFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            const fs::path candidate =
                fs::temp_directory_path() / ("frames-" + std::to_string(random()));
            if (fs::create_directory(candidate)) {
                dir_ = candidate;
            }
        }
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& content) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    Collection Load(const std::string& content) {
        return Collection(FRC_Create(Write("frames.xml", content).c_str()));
    }

    // A collection of one frame per case, each made by frameOf from the case.
    template <typename Case, typename FrameOf>
    Collection LoadFramePerCase(const std::vector<Case>& cases, FrameOf frameOf) {
        std::string xml = "<FRAME_COLLECTION>";
        for (const auto& c : cases) {
            xml += frameOf(c);
        }
        return Load(xml + "</FRAME_COLLECTION>");
    }

    fs::path dir_;
};

std::vector<std::string> FrameNames(TOVRA_FRC frc) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < FRC_Size(frc); ++i) {
        names.push_back(FRM_GetName(FRC_GetFrame(frc, i)));
    }
    return names;
}

std::vector<std::string> ItemNames(TOVRA_FRM frm) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < FRMmfd_GetNumItems(frm); ++i) {
        names.push_back(ITEM_GetName(FRMmfd_GetItem(frm, i)));
    }
    return names;
}

std::vector<int32_t> ItemTypes(TOVRA_FRM frm) {
    std::vector<int32_t> types;
    for (int32_t i = 0; i < FRMmfd_GetNumItems(frm); ++i) {
        types.push_back(ITEM_GetType(FRMmfd_GetItem(frm, i)));
    }
    return types;
}

std::unique_ptr<CommsFrameCollection> FromText(const std::string& xml) {
    return CommsFrameCollection::LoadBuffer(xml.data(), xml.size());
}

}  // namespace

// ---- Loading through the exports --------------------------------------------------------------

TEST_F(FrameFilesTest, ReadsFramesAndItemsInDocumentOrder) {
    const auto frc = Load(R"(<?xml version="1.0"?>
<FRAME_COLLECTION>
  <FRAME name="AllTypes" id="7">
    <ITEM type="byte" name="b"/>
    <ITEM type="short" name="s"/>
    <ITEM type="long" name="l"/>
    <ITEM type="float" name="f"/>
    <ITEM type="double" name="d"/>
  </FRAME>
  <FRAME name="Empty" id="-3"></FRAME>
  <FRAME name="Last" id="2147483647">
    <ITEM type="double" name="z"/>
    <ITEM type="byte" name="a"/>
  </FRAME>
</FRAME_COLLECTION>
)");
    ASSERT_NE(frc, nullptr);
    EXPECT_THAT(FrameNames(frc.get()), ::testing::ElementsAre("AllTypes", "Empty", "Last"));

    const TOVRA_FRM all = FRC_GetFrame(frc.get(), 0);
    EXPECT_EQ(FRMmfd_GetId(all), 7);
    EXPECT_EQ(FRMmfd_GetSize(all), 19);
    EXPECT_THAT(ItemNames(all), ::testing::ElementsAre("b", "s", "l", "f", "d"));
    EXPECT_THAT(ItemTypes(all), ::testing::ElementsAre(17, 2, 3, 4, 5));

    const TOVRA_FRM empty = FRC_GetFrame(frc.get(), 1);
    EXPECT_EQ(FRMmfd_GetId(empty), -3);
    EXPECT_EQ(FRMmfd_GetNumItems(empty), 0);
    EXPECT_EQ(FRMmfd_GetSize(empty), 0);
    EXPECT_EQ(FRMmfd_GetItem(empty, 0), nullptr);

    const TOVRA_FRM last = FRC_GetFrame(frc.get(), 2);
    EXPECT_EQ(FRMmfd_GetId(last), 2147483647);
    EXPECT_EQ(FRMmfd_GetSize(last), 9);
    EXPECT_THAT(ItemNames(last), ::testing::ElementsAre("z", "a"));

    // Indexes outside the range give null handles.
    EXPECT_EQ(FRC_GetFrame(frc.get(), 3), nullptr);
    EXPECT_EQ(FRC_GetFrame(frc.get(), -1), nullptr);
    EXPECT_EQ(FRMmfd_GetItem(all, 5), nullptr);
    EXPECT_EQ(FRMmfd_GetItem(all, -1), nullptr);
}

TEST_F(FrameFilesTest, TypeNamesMatchExactly) {
    struct Case {
        const char* typeAttribute;  // the whole attribute, or "" for none
        int32_t code;
        int32_t size;
    };
    const std::vector<Case> cases = {
        {R"(type="byte")", 17, 1}, {R"(type="short")", 2, 2},  {R"(type="long")", 3, 4},
        {R"(type="float")", 4, 4}, {R"(type="double")", 5, 8}, {R"(type="Byte")", 0, 0},
        {R"(type="BYTE")", 0, 0},  {R"(type="int")", 0, 0},    {R"(type=" byte")", 0, 0},
        {R"(type="byte ")", 0, 0}, {R"(type="")", 0, 0},       {"", 0, 0},
        {R"(TYPE="byte")", 0, 0},
    };
    const auto frc = LoadFramePerCase(cases, [](const Case& c) {
        return std::string("<FRAME><ITEM name=\"x\" ") + c.typeAttribute + "/></FRAME>";
    });
    ASSERT_NE(frc, nullptr);
    ASSERT_EQ(FRC_Size(frc.get()), static_cast<int32_t>(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].typeAttribute);
        const TOVRA_FRM frm = FRC_GetFrame(frc.get(), static_cast<int32_t>(i));
        ASSERT_EQ(FRMmfd_GetNumItems(frm), 1);
        EXPECT_EQ(ITEM_GetType(FRMmfd_GetItem(frm, 0)), cases[i].code);
        EXPECT_EQ(FRMmfd_GetSize(frm), cases[i].size);
    }
}

TEST_F(FrameFilesTest, IdIsAWholeDecimalIntegerOrZero) {
    struct Case {
        const char* idAttribute;  // the whole attribute, or "" for none
        int32_t id;
    };
    const std::vector<Case> cases = {
        {R"(id="12")", 12},
        {R"(id="-5")", -5},
        {R"(id="+5")", 5},
        {R"(id="007")", 7},
        {R"(id="-2147483648")", std::numeric_limits<int32_t>::min()},
        {R"(id="2147483648")", 0},
        {R"(id="-2147483649")", 0},
        {R"(id="99999999999999999999")", 0},
        {R"(id="12abc")", 0},
        {R"(id="1e3")", 0},
        {R"(id="3.0")", 0},
        {R"(id="0x10")", 0},
        {R"(id=" 7")", 0},
        {R"(id="7 ")", 0},
        {R"(id="-")", 0},
        {R"(id="+-5")", 0},
        {R"(id="")", 0},
        {"", 0},
    };
    const auto frc = LoadFramePerCase(cases, [](const Case& c) {
        return std::string("<FRAME name=\"f\" ") + c.idAttribute + "/>";
    });
    ASSERT_NE(frc, nullptr);
    ASSERT_EQ(FRC_Size(frc.get()), static_cast<int32_t>(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].idAttribute);
        EXPECT_EQ(FRMmfd_GetId(FRC_GetFrame(frc.get(), static_cast<int32_t>(i))), cases[i].id);
    }
}

TEST_F(FrameFilesTest, MissingNamesAreEmptyStrings) {
    const auto frc = Load(R"(<FRAME_COLLECTION><FRAME id="1"><ITEM type="byte"/></FRAME>
                             <FRAME name="a&amp;b" id="2"><ITEM name="" type="byte"/></FRAME>
                             </FRAME_COLLECTION>)");
    ASSERT_NE(frc, nullptr);
    const TOVRA_FRM unnamed = FRC_GetFrame(frc.get(), 0);
    ASSERT_NE(FRM_GetName(unnamed), nullptr);
    EXPECT_STREQ(FRM_GetName(unnamed), "");
    ASSERT_NE(ITEM_GetName(FRMmfd_GetItem(unnamed, 0)), nullptr);
    EXPECT_STREQ(ITEM_GetName(FRMmfd_GetItem(unnamed, 0)), "");
    EXPECT_STREQ(FRM_GetName(FRC_GetFrame(frc.get(), 1)), "a&b");
    EXPECT_STREQ(ITEM_GetName(FRMmfd_GetItem(FRC_GetFrame(frc.get(), 1), 0)), "");
}

TEST_F(FrameFilesTest, OnlyElementChildrenAreFramesAndItems) {
    // Element names below the collection are not examined; comments, text, CDATA and
    // processing instructions are skipped at both levels.
    const auto frc = Load(R"(<!-- before --><?pi before?>
<FRAME_COLLECTION>
  text before <!-- a comment --> <![CDATA[<FRAME name="no"/>]]> <?FRAME name="no"?>
  <FRAME name="one" id="1">
    loose text <!-- <ITEM type="long" name="no"/> --> <![CDATA[x]]> <?ITEM x?>
    <ITEM type="short" name="s"/>
    more text
    <FIELD type="byte" name="b"/>
  </FRAME>
  between
  <RECORD name="two" id="2"><ITEM type="long" name="l"/></RECORD>
</FRAME_COLLECTION>
<!-- after -->)");
    ASSERT_NE(frc, nullptr);
    EXPECT_THAT(FrameNames(frc.get()), ::testing::ElementsAre("one", "two"));
    const TOVRA_FRM one = FRC_GetFrame(frc.get(), 0);
    EXPECT_THAT(ItemNames(one), ::testing::ElementsAre("s", "b"));
    EXPECT_EQ(FRMmfd_GetSize(one), 3);
    EXPECT_THAT(ItemNames(FRC_GetFrame(frc.get(), 1)), ::testing::ElementsAre("l"));
}

TEST_F(FrameFilesTest, EmptyCollectionIsNotAFailure) {
    const auto frc = Load("<FRAME_COLLECTION/>");
    ASSERT_NE(frc, nullptr);
    EXPECT_EQ(FRC_Size(frc.get()), 0);
    EXPECT_EQ(FRC_GetFrame(frc.get(), 0), nullptr);
}

TEST_F(FrameFilesTest, UnreadableOrForeignDocumentsGiveNull) {
    struct Case {
        const char* name;
        const char* content;
    };
    const std::vector<Case> cases = {
        {"empty file", ""},
        {"not XML", "FRAME_COLLECTION frame 1 byte"},
        {"truncated", "<FRAME_COLLECTION><FRAME name=\"a\" id=\"1\">"},
        {"mismatched tags", "<FRAME_COLLECTION><FRAME></ITEM></FRAME_COLLECTION>"},
        {"other root", "<FRAMES><FRAME name=\"a\" id=\"1\"/></FRAMES>"},
        {"name differs in case", "<frame_collection><FRAME/></frame_collection>"},
        {"not top-level", "<ROOT><FRAME_COLLECTION><FRAME/></FRAME_COLLECTION></ROOT>"},
        {"only a processing instruction of that name", "<?FRAME_COLLECTION x?><ROOT/>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Load(c.content), nullptr);
    }

    EXPECT_EQ(FRC_Create((dir_ / "missing.xml").string().c_str()), nullptr);
    EXPECT_EQ(FRC_Create(dir_.string().c_str()), nullptr);  // a folder
    EXPECT_EQ(FRC_Create(""), nullptr);
    EXPECT_EQ(FRC_Create(nullptr), nullptr);
}

TEST(FrameExportsTest, NullHandlesGiveEmptyResults) {
    FRC_Delete(nullptr);
    EXPECT_EQ(FRC_Size(nullptr), 0);
    EXPECT_EQ(FRC_GetFrame(nullptr, 0), nullptr);
    EXPECT_STREQ(FRM_GetName(nullptr), "");
    EXPECT_EQ(FRMmfd_GetId(nullptr), 0);
    EXPECT_EQ(FRMmfd_GetSize(nullptr), 0);
    EXPECT_EQ(FRMmfd_GetNumItems(nullptr), 0);
    EXPECT_EQ(FRMmfd_GetItem(nullptr, 0), nullptr);
    EXPECT_STREQ(ITEM_GetName(nullptr), "");
    EXPECT_EQ(ITEM_GetType(nullptr), 0);
}

// ---- Decoding a record --------------------------------------------------------------------------

TEST(FrameUnpackTest, ShortThenLongReadBytesZeroToOneAndTwoToFive) {
    const auto coll = FromText(
        R"(<FRAME_COLLECTION><FRAME><ITEM type="short"/><ITEM type="long"/></FRAME>
           </FRAME_COLLECTION>)");
    ASSERT_NE(coll, nullptr);
    IFrameBase* frame = coll->GetFrame(0);
    ASSERT_EQ(frame->GetSize(), 6);

    // Before any record the values are 0 of their types.
    EXPECT_EQ(frame->GetItem(0)->GetValue(), FrameValue(std::int16_t{0}));
    EXPECT_EQ(frame->GetItem(1)->GetValue(), FrameValue(std::int32_t{0}));

    const std::uint8_t record[] = {0xFE, 0xFF, 0x78, 0x56, 0x34, 0x12, 0xAA};
    EXPECT_TRUE(frame->Unpack(record, sizeof record));
    EXPECT_EQ(frame->GetItem(0)->GetValue(), FrameValue(std::int16_t{-2}));
    EXPECT_EQ(frame->GetItem(1)->GetValue(), FrameValue(std::int32_t{0x12345678}));
}

TEST(FrameUnpackTest, EveryTypeLittleEndianAndEmptyItemsTakeNoBytes) {
    const auto coll = FromText(R"(<FRAME_COLLECTION><FRAME>
        <ITEM type="byte"/><ITEM type="Byte"/><ITEM type="float"/><ITEM/>
        <ITEM type="double"/><ITEM type="long"/></FRAME></FRAME_COLLECTION>)");
    ASSERT_NE(coll, nullptr);
    IFrameBase* frame = coll->GetFrame(0);
    ASSERT_EQ(frame->GetSize(), 17);

    // 0xAB; 1.5f = 0x3FC00000; -2.25 = 0xC002000000000000; -1 as a long.
    const std::uint8_t record[] = {0xAB, 0x00, 0x00, 0xC0, 0x3F, 0x00, 0x00, 0x00, 0x00,
                                   0x00, 0x00, 0x02, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_TRUE(frame->Unpack(record, sizeof record));
    EXPECT_EQ(frame->GetItem(0)->GetValue(), FrameValue(std::uint8_t{0xAB}));
    EXPECT_EQ(frame->GetItem(1)->GetValue(), FrameValue());
    EXPECT_EQ(frame->GetItem(2)->GetValue(), FrameValue(1.5f));
    EXPECT_EQ(frame->GetItem(3)->GetValue(), FrameValue());
    EXPECT_EQ(frame->GetItem(4)->GetValue(), FrameValue(-2.25));
    EXPECT_EQ(frame->GetItem(5)->GetValue(), FrameValue(std::int32_t{-1}));
    EXPECT_EQ(FrameValueType(frame->GetItem(4)->GetValue()), 5);
    EXPECT_EQ(FrameValueType(frame->GetItem(1)->GetValue()), 0);
}

TEST(FrameUnpackTest, ShortRecordIsNotRead) {
    const auto coll = FromText(
        R"(<FRAME_COLLECTION><FRAME><ITEM type="byte"/><ITEM type="double"/></FRAME>
           <FRAME><ITEM type="Byte"/></FRAME></FRAME_COLLECTION>)");
    ASSERT_NE(coll, nullptr);
    IFrameBase* frame = coll->GetFrame(0);
    const std::uint8_t record[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};

    EXPECT_FALSE(frame->Unpack(record, 8));
    EXPECT_FALSE(frame->Unpack(nullptr, 9));
    EXPECT_EQ(frame->GetItem(0)->GetValue(), FrameValue(std::uint8_t{0}));
    EXPECT_EQ(frame->GetItem(1)->GetValue(), FrameValue(0.0));

    EXPECT_TRUE(frame->Unpack(record, 9));
    EXPECT_EQ(frame->GetItem(0)->GetValue(), FrameValue(std::uint8_t{1}));

    // A frame of size 0 needs no record at all.
    EXPECT_TRUE(coll->GetFrame(1)->Unpack(nullptr, 0));
    EXPECT_EQ(coll->GetFrame(1)->GetItem(0)->GetValue(), FrameValue());
}

// ---- Writing XML ------------------------------------------------------------------------------

TEST(FrameWriteXmlTest, WritesTheFrameLineByLine) {
    const auto coll = FromText(R"(<FRAME_COLLECTION>
        <FRAME name="Mode &lt;1&gt; &amp; &quot;x&quot;" id="-4">
          <ITEM type="byte" name="gain"/><ITEM type="short" name="tone"/>
          <ITEM type="Byte" name="odd"/><ITEM type="long"/><ITEM type="float" name="f"/>
          <ITEM type="double" name="d"/>
        </FRAME>
        <FRAME/>
        </FRAME_COLLECTION>)");
    ASSERT_NE(coll, nullptr);

    std::ostringstream out;
    coll->GetFrame(0)->WriteXml(out);
    coll->GetFrame(1)->WriteXml(out);
    EXPECT_EQ(out.str(),
              "\t<FRAME name=\"Mode <1> & \"x\"\" id=\"-4\">\n"
              "\t\t<ITEM name=\"gain\" type=\"byte\"/>\n"
              "\t\t<ITEM name=\"tone\" type=\"short\"/>\n"
              "\t\t<ITEM name=\"odd\" type=\"\"/>\n"
              "\t\t<ITEM name=\"\" type=\"long\"/>\n"
              "\t\t<ITEM name=\"f\" type=\"float\"/>\n"
              "\t\t<ITEM name=\"d\" type=\"double\"/>\n"
              "\t</FRAME>\n"
              "\t<FRAME name=\"\" id=\"0\">\n"
              "\t</FRAME>\n");
}

TEST(FrameWriteXmlTest, IdIgnoresTheStreamsLocale) {
    struct Grouping : std::numpunct<char> {
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    const auto coll = FromText(R"(<FRAME_COLLECTION><FRAME name="n" id="1234567"/>
                                  </FRAME_COLLECTION>)");
    ASSERT_NE(coll, nullptr);
    std::ostringstream out;
    out.imbue(std::locale(out.getloc(), new Grouping));
    coll->GetFrame(0)->WriteXml(out);
    EXPECT_EQ(out.str(), "\t<FRAME name=\"n\" id=\"1234567\">\n\t</FRAME>\n");
}
