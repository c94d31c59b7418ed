// The e-mail address list dialog, driven through its buttons, edits and lists; and the address text.
#include "app/app_texts.h"
#include "app/dialogs/email_form.h"
#include "tests/app/app_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using testing_support::AppTest;

namespace {

class EmailFormTest : public AppTest {
protected:
    EmailFormTest() : m_form(nullptr) {}

    QListWidget* List(const char* page) {
        return m_form.findChild<QListWidget*>(QStringLiteral("lst%1EmailAddresses").arg(QLatin1String(page)));
    }
    QLineEdit* Edit(const char* page) {
        return m_form.findChild<QLineEdit*>(QStringLiteral("txt%1EmailAddress").arg(QLatin1String(page)));
    }
    void Click(const char* action, const char* page) {
        auto* button = m_form.findChild<QPushButton*>(
            QStringLiteral("cmd%1%2Email").arg(QLatin1String(action), QLatin1String(page)));
        ASSERT_NE(button, nullptr) << action << page;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void Type(const char* page, const QString& text) {
        Edit(page)->clear();
        QTest::keyClicks(Edit(page), text);
    }
    QStringList Lines(const char* page) {
        QStringList lines;
        for (int row = 0; row < List(page)->count(); ++row)
            lines << List(page)->item(row)->text();
        return lines;
    }
    void Select(const char* page, int row) {
        QListWidget* list = List(page);
        list->show();
        const QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }

    TfrmEmail m_form;
};

const QString Invalid = QString::fromUtf8(texts::EmailAddressInvalid);

TEST_F(EmailFormTest, AddAcceptsOnlyAddressesWithAtSignAndPointAndStoresThemInSmallLetters) {
    const struct {
        const char* name;
        QString typed;
        QString stored; // empty: refused
    } cases[] = {
        {"capitals", QStringLiteral("Some.One@Example.COM"), QStringLiteral("some.one@example.com")},
        {"point then at sign", QStringLiteral(".@"), QStringLiteral(".@")},
        {"at sign then point", QStringLiteral("@."), QStringLiteral("@.")},
        {"no point", QStringLiteral("someone@example"), {}},
        {"no at sign", QStringLiteral("someone.example.com"), {}},
        {"list separator", QStringLiteral("a@b.c;d@e.f"), {}},
        {"control character", QStringLiteral("a@b.c\td"), {}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        m_dialogs.messages.clear();
        List("To")->clear();
        Edit("To")->setText(row.typed);
        Click("Add", "To");
        if (row.stored.isEmpty()) {
            ASSERT_EQ(m_dialogs.messages.size(), 1u);
            EXPECT_EQ(m_dialogs.messages[0].text, Invalid);
            EXPECT_EQ(m_dialogs.messages[0].caption, QStringLiteral("Error"));
            EXPECT_EQ(m_dialogs.messages[0].icon, dialogs::Icon::Critical);
            EXPECT_TRUE(Lines("To").isEmpty());
            EXPECT_EQ(Edit("To")->text(), row.typed);
            EXPECT_EQ(Edit("To")->selectedText(), row.typed);
        } else {
            EXPECT_TRUE(m_dialogs.messages.empty());
            EXPECT_EQ(Lines("To"), QStringList{row.stored});
            EXPECT_TRUE(Edit("To")->text().isEmpty());
        }
    }
}

TEST_F(EmailFormTest, AnAddressAddedTwiceInAnyCaseIsKeptOnce) {
    Type("To", QStringLiteral("a@b.c"));
    Click("Add", "To");
    Type("To", QStringLiteral("A@B.C"));
    Click("Add", "To");
    EXPECT_EQ(Lines("To"), QStringList{QStringLiteral("a@b.c")});
    EXPECT_TRUE(Edit("To")->text().isEmpty());
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(EmailFormTest, EachPageEditsItsOwnList) {
    Type("CC", QStringLiteral("cc@b.c"));
    Click("Add", "CC");
    Type("BCC", QStringLiteral("bcc@b.c"));
    Click("Add", "BCC");
    EXPECT_TRUE(Lines("To").isEmpty());
    EXPECT_EQ(Lines("CC"), QStringList{QStringLiteral("cc@b.c")});
    EXPECT_EQ(Lines("BCC"), QStringList{QStringLiteral("bcc@b.c")});
    Select("BCC", 0);
    Click("Delete", "BCC");
    EXPECT_TRUE(Lines("BCC").isEmpty());
    EXPECT_EQ(Lines("CC"), QStringList{QStringLiteral("cc@b.c")});
}

TEST_F(EmailFormTest, ReplaceChecksTheTextTheListAndTheSelectionInThatOrder) {
    Type("To", QStringLiteral("invalid"));
    Click("Replace", "To");
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{Invalid});

    m_dialogs.messages.clear();
    Type("To", QStringLiteral("a@b.c"));
    Click("Replace", "To"); // an empty list only beeps
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_TRUE(Lines("To").isEmpty());

    m_form.SetAddresses({"one@b.c", "two@b.c"}, {}, {});
    Type("To", QStringLiteral("three@b.c"));
    Click("Replace", "To");
    EXPECT_EQ(m_dialogs.MessageTexts(),
              std::vector<QString>{QString::fromUtf8(texts::EmailReplaceNoSelection)});

    m_dialogs.messages.clear();
    Select("To", 1);
    EXPECT_EQ(Edit("To")->text(), QStringLiteral("two@b.c"));
    Click("Replace", "To"); // its own text
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>{QString::fromUtf8(texts::EmailReplaceExists)});

    m_dialogs.messages.clear();
    Type("To", QStringLiteral("Three@B.C"));
    Click("Replace", "To");
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(Lines("To"), (QStringList{QStringLiteral("one@b.c"), QStringLiteral("three@b.c")}));
    EXPECT_EQ(Edit("To")->text(), QStringLiteral("three@b.c"));
}

TEST_F(EmailFormTest, DeleteClearsTheEditAndRemovesOnlyTheSelectedLine) {
    m_form.SetAddresses({"one@b.c", "two@b.c"}, {}, {});
    Type("To", QStringLiteral("typed"));
    Click("Delete", "To");
    EXPECT_EQ(Lines("To").size(), 2);
    EXPECT_TRUE(Edit("To")->text().isEmpty());
    Select("To", 0);
    Click("Delete", "To");
    EXPECT_EQ(Lines("To"), QStringList{QStringLiteral("two@b.c")});
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(EmailFormTest, ReleasingTheMouseOverALineCopiesItIntoThatPagesEdit) {
    m_form.SetAddresses({"to@b.c"}, {"cc1@b.c", "cc2@b.c"}, {});
    Select("CC", 1);
    EXPECT_EQ(Edit("CC")->text(), QStringLiteral("cc2@b.c"));
    EXPECT_TRUE(Edit("To")->text().isEmpty());
}

TEST_F(EmailFormTest, TheCallerReadsBackTheListsOnOkOnly) {
    m_form.SetAddresses({"to@b.c"}, {"cc@b.c"}, {"bcc@b.c"});
    EXPECT_EQ(m_form.windowTitle(), QStringLiteral("Email Addresses"));
    EXPECT_EQ(m_form.lblBanner()->text(), QStringLiteral(" Enter email addresses."));
    EXPECT_EQ(m_form.ToAddresses(), std::vector<std::string>{"to@b.c"});
    EXPECT_EQ(m_form.CCAddresses(), std::vector<std::string>{"cc@b.c"});
    EXPECT_EQ(m_form.BCCAddresses(), std::vector<std::string>{"bcc@b.c"});
    auto* ok = m_form.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    auto* cancel = m_form.findChild<QPushButton*>(QStringLiteral("cmdCancel"));
    EXPECT_TRUE(ok->isDefault());
    ok->click();
    EXPECT_EQ(m_form.result(), mrOk);
    cancel->click();
    EXPECT_EQ(m_form.result(), mrCancel);
}

TEST(EmailAddressText, ListsEveryAddressFollowedByACommaAndABlank) {
    EXPECT_EQ(EmailAddressText({}, {}, {}), "TO: | CC: | BCC: ");
    EXPECT_EQ(EmailAddressText({"a@b.c"}, {}, {}), "TO: a@b.c, | CC: | BCC: ");
    TEmailDestination destination;
    destination.To = {"a@b.c", "d@e.f"};
    destination.CC = {"g@h.i"};
    destination.BCC = {"j@k.l"};
    EXPECT_EQ(EmailAddressText(destination), "TO: a@b.c, d@e.f, | CC: g@h.i, | BCC: j@k.l, ");
}

} // namespace

namespace {

// Tab to Add and Enter adds the typed address; the dialog stays open. Enter in the edit presses OK.
TEST_F(EmailFormTest, EnterPressesTheFocusedButtonAndElsewhereOk) {
    m_form.show();
    m_form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_form));
    Edit("To")->setFocus();
    Type("To", QStringLiteral("one@example.org"));
    auto* add = m_form.findChild<QPushButton*>("cmdAddToEmail");
    add->setFocus(Qt::TabFocusReason);
    QTest::keyClick(add, Qt::Key_Return);
    EXPECT_EQ(Lines("To"), QStringList{QStringLiteral("one@example.org")});
    EXPECT_TRUE(m_form.isVisible());
    EXPECT_EQ(m_form.result(), 0);

    Edit("To")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(Edit("To"), Qt::Key_Return);
    EXPECT_FALSE(m_form.isVisible());
    EXPECT_EQ(m_form.result(), mrOk);
}

} // namespace
