#include <gtest/gtest.h>

#include <sstream>

#include "xml/SimpleXml.h"

namespace zorvex {
namespace {

std::string Save(TSimpleXml& doc) {
  std::ostringstream out;
  doc.SaveToStream(out);
  return out.str();
}

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n";

TEST(SimpleXmlWrite, OptionsExampleIsByteExact) {
  TSimpleXml doc;
  doc.Root().SetName("Options");
  doc.Root().Elems().Add("Opera", true);
  doc.Root().Elems().Add("Language", "");
  doc.Root().Elems().Add("PlaySoundVal", "a<b");
  EXPECT_EQ(Save(doc), kHeader +
                           "<Options>\r\n"
                           " <Opera>-1</Opera>\r\n"
                           " <Language/>\r\n"
                           " <PlaySoundVal>a&#60;b</PlaySoundVal>\r\n"
                           "</Options>\r\n");
}

TEST(SimpleXmlWrite, FreshDocumentGetsDefaultHeaderThatStays) {
  TSimpleXml doc;
  EXPECT_EQ(Save(doc), kHeader + "</>\r\n");
  ASSERT_EQ(doc.Prolog().Count(), 1u);
  EXPECT_EQ(Save(doc), kHeader + "</>\r\n");  // not a second header
}

TEST(SimpleXmlWrite, NestingAttributesTextAndValues) {
  TSimpleXml doc;
  TSimpleXmlElemClassic& root = doc.Root();
  root.SetName("r");
  root.Value = "not written: the element has children";
  root.Props().Add("id", "a\"&'<>b");
  root.Props().Add("lang", "en").Prefix = "xml";
  TSimpleXmlElemClassic& a = root.Elems().Add("a", "");
  a.Elems().Add("b", std::int64_t{-9223372036854775807 - 1});
  a.Elems().Add("c", 0);
  a.Elems().Add("d", false).Prefix = "ignored";
  a.Elems().Add(std::make_unique<TSimpleXmlElemText>()).Value = "x > y";
  a.Elems().Add(std::make_unique<TSimpleXmlElemText>());  // empty text writes nothing
  auto& comment = a.Elems().Add(std::make_unique<TSimpleXmlElemComment>());
  comment.Value = "<raw & unescaped>";
  a.Elems().Add(std::make_unique<TSimpleXmlElemCData>()).Value = "<also raw>";
  root.Elems().Add("e", "").Props().Add("k", "");
  EXPECT_EQ(Save(doc), kHeader +
                           "<r id=\"a&#34;&#38;&#39;&#60;&#62;b\" xml:lang=\"en\">\r\n"
                           " <a>\r\n"
                           "  <b>-9223372036854775808</b>\r\n"
                           "  <c>0</c>\r\n"
                           "  <d>0</d>\r\n"
                           "  x &#62; y\r\n"
                           "  <!--<raw & unescaped>-->\r\n"
                           "  <![CDATA[<also raw>]]>\r\n"
                           " </a>\r\n"
                           " <e k=\"\"/>\r\n"
                           "</r>\r\n");
}

TEST(SimpleXmlWrite, EscapeTouchesOnlyTheFiveBytes) {
  EXPECT_EQ(XmlEscape("\"&'<>"), "&#34;&#38;&#39;&#60;&#62;");
  const std::string others("a\0\t\r\n;#\x80\xe9\xff", 10);
  EXPECT_EQ(XmlEscape(others), others);
}

TEST(SimpleXmlWrite, HeaderVariants) {
  struct Case {
    bool standalone;
    std::string encoding, version, line;
  } cases[] = {
      {false, "iso-8859-1", "1.0", "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>"},
      {true, "utf-8", "1.1", "<?xml version=\"1.1\" standalone=\"yes\" encoding=\"utf-8\"?>"},
      {true, "", "1.0", "<?xml version=\"1.0\" standalone=\"yes\"?>"},
      {false, "", "", "<?xml version=\"\"?>"},
  };
  for (const Case& c : cases) {
    TSimpleXmlElemHeader header;
    header.Standalone = c.standalone;
    header.Encoding = c.encoding;
    header.Version = c.version;
    std::ostringstream out;
    header.SaveToStream(out, "  ");
    EXPECT_EQ(out.str(), "  " + c.line + "\r\n");
  }
}

TEST(SimpleXmlWrite, PrologItemsInOrderDoctypeNeverIndented) {
  TSimpleXml doc;
  doc.Root().SetName("x");
  doc.Prolog().Add(std::make_unique<TSimpleXmlElemComment>()).Value = " first ";
  doc.Prolog().Add(std::make_unique<TSimpleXmlElemDocType>()).Value = "x [<!ENTITY e \"v\">]";
  auto& sheet = doc.Prolog().Add(std::make_unique<TSimpleXmlElemSheet>());
  sheet.Props().Add("href", "a&b.xsl");
  sheet.Props().Add("type", "text/xsl");
  EXPECT_EQ(Save(doc),  // no default header: the prolog was not empty
            "<!-- first -->\r\n"
            "<!DOCTYPE x [<!ENTITY e \"v\">]>\r\n"
            "<?xml-stylesheet href=\"a&#38;b.xsl\" type=\"text/xsl\"?>\r\n"
            "<x/>\r\n");
  std::ostringstream indented;
  doc.Prolog().Item(1)->SaveToStream(indented, "   ");
  EXPECT_EQ(indented.str(), "<!DOCTYPE x [<!ENTITY e \"v\">]>\r\n");
}

TEST(SimpleXmlWrite, NamesCannotBeClearedAndRenamesReachFind) {
  TSimpleXml doc;
  TSimpleXmlElems& elems = doc.Root().Elems();
  for (int i = 0; i < 1000; ++i) elems.Add("n" + std::to_string(i), i);  // long enough for the index
  ASSERT_EQ(elems.Find("N500"), elems.Item(500));
  elems.Item(500)->SetName("");
  EXPECT_EQ(elems.Item(500)->Name(), "n500");
  elems.Item(500)->SetName("renamed");
  EXPECT_EQ(elems.Find("n500"), nullptr);
  EXPECT_EQ(elems.ReadInt("RENAMED", 7), 500);
  elems.Add("Renamed", "later");
  EXPECT_EQ(elems.ReadText("renamed", ""), "later");
  elems.Clear();
  EXPECT_EQ(elems.Find("renamed"), nullptr);

  TSimpleXmlProps& props = doc.Root().Props();
  for (int i = 0; i < 100; ++i) props.Add("p" + std::to_string(i), std::to_string(i));
  ASSERT_EQ(props.ReadInt("P42", -5), 42);
  props.Item(42).SetName("q");
  EXPECT_EQ(props.Find("p42"), nullptr);
  EXPECT_EQ(props.Find("Q"), &props.Item(42));
  EXPECT_THROW(props.Item(100), std::out_of_range);
  EXPECT_EQ(elems.Item(0), nullptr);
}

}  // namespace
}  // namespace zorvex
