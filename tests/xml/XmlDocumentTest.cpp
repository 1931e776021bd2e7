#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace KvMigration
