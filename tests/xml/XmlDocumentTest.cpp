#include "xml/XmlDocument.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "support/ScopedTempDir.h"

namespace KvMigration {
namespace {

TEST(XmlDocument, GivesElementsAttributesAndTexts) {
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(
        dir.File("model.xml"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Model>\n  <!-- c -->\n"
        "  <Tasks>\n    <Task name=\"Job &amp; \xD0\x96\">\n"
        "      <Sequence>step 1; step 2</Sequence>\n    </Task>\n  </Tasks>\n</Model>\n");
    XmlDocument document =
        XmlDocument::Load(Platform::Utf8ToWide(dir.File("model.xml")), L"Test::Load");
    const XmlElement& root = document.Root();
    EXPECT_EQ(root.Name(), L"Model");
    ASSERT_EQ(root.Children().size(), 1u);
    const XmlElement& tasks = root.Children()[0];
    EXPECT_EQ(tasks.Name(), L"Tasks");
    ASSERT_EQ(tasks.Children().size(), 1u);
    const XmlElement& task = tasks.Children()[0];
    EXPECT_EQ(task.Attribute(L"name"), std::optional<std::wstring>(L"Job & \x0416"));
    EXPECT_EQ(task.Attribute(L"missing"), std::nullopt);
    ASSERT_EQ(task.Children().size(), 1u);
    EXPECT_EQ(task.Children()[0].Text(), L"step 1; step 2");
}

TEST(XmlDocument, MissingAndDamagedFilesAreRaised) {
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("bad.xml"), "<Model>\n<Tasks>\n</Model>\n");
    std::wstring name = Platform::Utf8ToWide(dir.File("bad.xml"));
    try {
        XmlDocument::Load(name, L"Test::Load");
        FAIL() << "no error raised";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Description(), L"The file \"" + name +
                                       L"\" is damaged at line 3: Opening and ending tag "
                                       L"mismatch: Tasks line 2 and Model.");
    }
    try {
        XmlDocument::Load(Platform::Utf8ToWide(dir.File("none.xml")), L"Test::Load");
        FAIL() << "no error raised";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Code(), 2u);
    }
}

TEST(XmlDocument, WhatCouldGrowWithoutBoundIsRefused) {
    KvTest::ScopedTempDir dir;
    // Entities that double at every level: refused at the declaration, before any is defined.
    std::string laughs = "<!DOCTYPE M [\n<!ENTITY a0 \"ha\">\n";
    for (int i = 1; i < 40; ++i) {
        laughs += "<!ENTITY a" + std::to_string(i) + " \"&a" + std::to_string(i - 1) + ";&a" +
                  std::to_string(i - 1) + ";\">\n";
    }
    KvTest::WriteFile(dir.File("laughs.xml"), laughs + "]>\n<M>&a39;</M>\n");
    // A file over the bound, and a FIFO that no writer ever fills.
    const std::string large = dir.File("large.xml");
    KvTest::WriteFile(large, "<M>");
    ASSERT_EQ(truncate(large.c_str(), XmlDocument::XmlMaxDocumentBytes + 1), 0);
    ASSERT_EQ(mkfifo(dir.File("fifo.xml").c_str(), 0600), 0);
    struct Case {
        std::string file;
        std::wstring description;
    };
    const std::vector<Case> cases = {
        {"laughs.xml",
         L"\" is damaged at line 1: Document type declarations (DOCTYPE) are not "
         L"accepted."},
        {"large.xml", L"\" is larger than 64 MiB."},
        {"fifo.xml", L"Access is denied."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::wstring name = Platform::Utf8ToWide(dir.File(c.file));
        try {
            XmlDocument::Load(name, L"Test::Load");
            FAIL() << "no error raised";
        } catch (const KvBase::CKvError& e) {
            const std::wstring text = e.Description();
            ASSERT_GE(text.size(), c.description.size());
            EXPECT_EQ(text.substr(text.size() - c.description.size()), c.description)
                << Platform::WideToUtf8(text);
        }
    }
}

TEST(XmlDocument, TextOfAnElementTakesItsDescendantsInDocumentOrder) {
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("m.xml"), "<M>a<B>b<C>c</C>d</B>e<![CDATA[<f>]]><D/>g</M>");
    XmlDocument document = XmlDocument::Load(Platform::Utf8ToWide(dir.File("m.xml")), L"Test");
    EXPECT_EQ(document.Root().Text(), L"abcde<f>g");
    EXPECT_EQ(document.Root().Children()[0].Text(), L"bcd");
}

}  // namespace
}  // namespace KvMigration
