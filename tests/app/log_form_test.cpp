// The log window: line colours, the text it shows, search and jump, font size, the splitter's limit,
// the default button, and printing read back from a PDF file.
#include "app/log_window/log_form.h"
#include "app/log_window/log_highlighter.h"
#include "app/log_window/log_text.h"
#include "app/log_window/log_view.h"
#include "tests/app/app_fixture.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QTest>

using testing_support::AppTest;

namespace {

// Two entries of each kind as a run writes them, and the note shown for a run without entries.
const QString SampleLog = QStringLiteral("- 12/9/2026 8:18:10 AM: [/home/user/a.txt] \n"
                                         "-                       Copied.\n"
                                         "? 12/9/2026 8:18:11 AM: [/home/user/b.txt] \n"
                                         "?                       Skipped, it has not changed.\n"
                                         "! 12/9/2026 8:18:12 AM: [/home/user/c.txt] \n"
                                         "!                       Cannot open file.\n"
                                         "SUCCESS!");

class LogFormTest : public AppTest {
protected:
    LogFormTest() {
        m_form.txtLog()->SetPlainText(SampleLog);
        m_form.SetProfileName(QStringLiteral("Daily"));
    }

    template <typename T> T* Find(const char* name) {
        T* widget = m_form.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    void ShowActive() {
        m_form.show();
        m_form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_form));
    }

    void Search(const QString& text) {
        auto* edit = Find<QLineEdit>("txtSearch");
        edit->setText(text);
        Find<QPushButton>("cmdSearch")->click();
    }

    QStringList Results() {
        QStringList items;
        auto* list = Find<QListWidget>("lstSearchResults");
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        return items;
    }

    TfrmLog m_form{nullptr};
};

TEST(LogLineKindTest, FirstMatchingPrefixWinsAndAnEmptyOneMatchesEveryLine) {
    struct Case {
        const char* name;
        const char* line;
        const char* success;
        const char* warning;
        const char* error;
        TLogTokenKind kind;
    };
    const Case cases[] = {
        {"success", "- x", "-", "?", "!", tkSuccess},
        {"warning", "? x", "-", "?", "!", tkWarning},
        {"error", "! x", "-", "?", "!", tkError},
        {"other", "SUCCESS!", "-", "?", "!", tkOther},
        {"empty line", "", "-", "?", "!", tkOther},
        {"marker not first", " - x", "-", "?", "!", tkOther},
        {"longer prefix", "!! x", "-", "!!", "!", tkWarning},
        {"case matters", "err x", "-", "?", "ERR", tkOther},
        {"empty prefix matches all", "x", "-", "", "!", tkWarning},
        {"empty prefix comes after an earlier match", "- x", "-", "", "!", tkSuccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LogLineKind(QString::fromUtf8(c.line), QString::fromUtf8(c.success),
                              QString::fromUtf8(c.warning), QString::fromUtf8(c.error)),
                  c.kind);
    }
}

TEST_F(LogFormTest, LinesAreColouredByTheirEntryKind) {
    const QColor purple(128, 0, 128);
    const QColor red(255, 0, 0);
    const TLogView& editor = *m_form.txtLog();
    EXPECT_EQ(editor.LineForeground(0), QColor(Qt::black));
    EXPECT_EQ(editor.LineForeground(1), QColor(Qt::black));
    EXPECT_EQ(editor.LineForeground(2), purple);
    EXPECT_EQ(editor.LineForeground(3), purple);
    EXPECT_EQ(editor.LineForeground(4), red);
    EXPECT_EQ(editor.LineForeground(5), red);
    EXPECT_FALSE(editor.LineForeground(6).isValid()) << "the note keeps the editor's colour";
    EXPECT_EQ(m_form.GetHighlighter()->LogError().Name, QStringLiteral("LogError"));

    // A changed colour repaints at once.
    m_form.GetHighlighter()->SetForeground(tkError, Qt::blue);
    EXPECT_EQ(editor.LineForeground(4), QColor(Qt::blue));
}

TEST(LogTextTest, ReadsUtf8AndNormalisesLineEndsAlsoWhereTheyFallBetweenReadingSteps) {
    // The text is decoded a mebibyte at a time.
    const int step = 1 << 20;
    const std::string bytes(static_cast<std::size_t>(step - 1), 'a');
    const QString chars(step - 1, u'a');
    struct Case {
        const char* name;
        std::string bytes;
        QString shown;
        int lines;
    };
    const Case cases[] = {
        {"CR LF", "a\r\nb\r\n", QStringLiteral("a\nb"), 2},
        {"lone CR and LF", "a\rb\nc", QStringLiteral("a\nb\nc"), 3},
        {"empty", "", QString(), 1},
        {"only a break", "\r\n", QString(), 1},
        {"empty last line kept", "a\r\n\r\n", QStringLiteral("a\n"), 2},
        {"UTF-8", "\xC3\x84rger\r\n", QStringLiteral("\u00C4rger"), 1},
        {"invalid byte",
         "a\xFF"
         "b",
         QStringLiteral("a\uFFFDb"), 1},
        {"CR LF astride a step", bytes + "\r\nb", chars + QStringLiteral("\nb"), 2},
        {"lone CR ending a step", bytes + "\rb", chars + QStringLiteral("\nb"), 2},
        {"UTF-8 astride a step", bytes + "\xC3\x84", chars + QStringLiteral("\u00C4"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TLogText text = TLogText::FromBytes(c.bytes);
        EXPECT_EQ(text.Text(), c.shown);
        EXPECT_EQ(text.LineCount(), c.lines);
        EXPECT_EQ(text.Line(c.lines - 1), QStringView(c.shown).mid(c.shown.lastIndexOf(u'\n') + 1));
    }
}

TEST_F(LogFormTest, OpensAsALogWindowOfTheMinimumSize) {
    EXPECT_EQ(m_form.windowTitle(), QStringLiteral("Log"));
    EXPECT_EQ(m_form.minimumSize(), QSize(450, 415));
    EXPECT_EQ(m_form.size(), QSize(450, 415));
    auto* editor = m_form.txtLog();
    EXPECT_TRUE(QFontInfo(editor->font()).fixedPitch());
    EXPECT_EQ(editor->palette().color(QPalette::Highlight), QColor(Qt::yellow));
    EXPECT_EQ(editor->palette().color(QPalette::HighlightedText), QColor(Qt::black));
    EXPECT_EQ(Find<QPushButton>("cmdPrintLog")->toolTip(), QStringLiteral("Print the current log."));
}

TEST_F(LogFormTest, SearchListsEveryMatchingLineWithItsColumnIgnoringCase) {
    m_form.txtLog()->SetPlainText(QStringLiteral("first line\n"
                                                 "second line\n"
                                                 "! 12/9/2026 8:18 AM: DISKFULL on drive\n"
                                                 "no match\n"
                                                 "diskfull diskfull\n"));
    Search(QStringLiteral("diskfull"));
    EXPECT_EQ(Results(), QStringList({QStringLiteral("3,22:! 12/9/2026 8:18 AM: DISKFULL on drive"),
                                      QStringLiteral("5,1:diskfull diskfull")}));

    // An empty search finds nothing; a new search replaces the results.
    Search(QString());
    EXPECT_TRUE(Results().isEmpty());
    Search(QStringLiteral("zzz"));
    EXPECT_TRUE(Results().isEmpty());
}

TEST_F(LogFormTest, DoubleClickingAResultSelectsTheMatchInTheEditor) {
    m_form.txtLog()->SetPlainText(QStringLiteral("one\n"
                                                 "two\n"
                                                 "!                  WARNING text\n"
                                                 "\u00C4RGER and \u00C4rger\n"));
    ShowActive();
    struct Case {
        const char* name;
        QString search;
        QString item;
        int line;
        int column;
        QString selected;
    };
    const Case cases[] = {
        {"capitals at column 20 of line 3", QStringLiteral("warning"),
         QStringLiteral("3,20:!                  WARNING text"), 2, 19, QStringLiteral("WARNING")},
        {"beyond ASCII", QStringLiteral("\u00E4rger"), QStringLiteral("4,1:\u00C4RGER and \u00C4rger"), 3, 0,
         QStringLiteral("\u00C4RGER")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Search(c.search);
        ASSERT_EQ(Results(), QStringList(c.item));
        auto* list = Find<QListWidget>("lstSearchResults");
        const QRect itemRect = list->visualItemRect(list->item(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, itemRect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, itemRect.center());
        const TLogView& editor = *m_form.txtLog();
        EXPECT_EQ(editor.CursorLine(), c.line);
        EXPECT_EQ(editor.SelectionStart() - editor.Text().LineStart(c.line), c.column);
        EXPECT_EQ(editor.SelectedText(), c.selected);
        EXPECT_TRUE(m_form.txtLog()->hasFocus());
    }
}

TEST_F(LogFormTest, TheLogIsSelectedCopiedAndScrolledWithTheMouseAndTheKeys) {
    QString text;
    for (int line = 1; line <= 200; ++line)
        text += QStringLiteral("- entry %1\n").arg(line);
    text += QStringLiteral("! the last entry");
    m_form.txtLog()->SetPlainText(text);
    ShowActive();
    TLogView& view = *m_form.txtLog();
    QWidget* port = view.viewport();
    const double column = QFontMetricsF(view.font()).horizontalAdvance(u' ');
    const int middle = view.fontMetrics().lineSpacing() / 2;
    const auto at = [&](int characters) { return QPoint(static_cast<int>(characters * column), middle); };

    // Dragged over "entry" of the first line, copied, shown black on yellow.
    QTest::mousePress(port, Qt::LeftButton, {}, at(2));
    QTest::mouseMove(port, at(7));
    QTest::mouseRelease(port, Qt::LeftButton, {}, at(7));
    EXPECT_EQ(view.SelectedText(), QStringLiteral("entry"));
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("entry"));
    const QImage shown = port->grab().toImage();
    const QColor inside = shown.pixelColor(at(2).x() + 1, 1);
    EXPECT_EQ(inside, QColor(Qt::yellow)) << "the selection's background";

    // The keys scroll and move the caret; Shift selects, Ctrl+A selects everything.
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_GT(view.FirstVisibleLine(), 0);
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view.CursorLine(), 200);
    EXPECT_GE(view.FirstVisibleLine(), 150);
    QTest::keyClick(&view, Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_EQ(view.SelectedText(), QStringLiteral("! the last entry"));
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view.FirstVisibleLine(), 0);
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), text);
}

TEST_F(LogFormTest, FontSizeStartsAtTenAndFollowsTheList) {
    auto* sizes = Find<QComboBox>("cboFontSize");
    ASSERT_EQ(sizes->count(), 16);
    EXPECT_EQ(sizes->itemText(0), QStringLiteral("7"));
    EXPECT_EQ(sizes->itemText(15), QStringLiteral("72"));
    EXPECT_EQ(sizes->currentText(), QStringLiteral("10"));
    EXPECT_EQ(m_form.txtLog()->font().pointSize(), 10);
    ShowActive();
    sizes->setFocus();
    QTest::keyClick(sizes, Qt::Key_Down);
    EXPECT_EQ(sizes->currentText(), QStringLiteral("11"));
    EXPECT_EQ(m_form.txtLog()->font().pointSize(), 11);
}

TEST_F(LogFormTest, EnterSearchesInTheSearchEditAndAcceptsElsewhere) {
    ShowActive();
    auto* edit = Find<QLineEdit>("txtSearch");
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("copied"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(m_form.isVisible());
    EXPECT_EQ(Results(), QStringList(QStringLiteral("2,25:-                       Copied.")));
    EXPECT_TRUE(Find<QPushButton>("cmdSearch")->isDefault());
    EXPECT_FALSE(Find<QPushButton>("cmdOK")->isDefault());

    auto* sizes = Find<QComboBox>("cboFontSize");
    sizes->setFocus();
    EXPECT_TRUE(Find<QPushButton>("cmdOK")->isDefault());
    QTest::keyClick(sizes, Qt::Key_Return);
    EXPECT_FALSE(m_form.isVisible());
    EXPECT_EQ(m_form.result(), 1); // mrOk
}

int EditorBottomToSearchTop(TfrmLog& form) {
    QWidget* editor = form.txtLog();
    auto* search = form.findChild<QLineEdit*>(QStringLiteral("txtSearch"));
    return search->mapTo(&form, QPoint(0, 0)).y() -
           (editor->mapTo(&form, QPoint(0, 0)).y() + editor->height());
}

TEST_F(LogFormTest, TheSplitterKeepsTheEditor82PixelsAboveTheSearchEdit) {
    ShowActive();
    EXPECT_EQ(EditorBottomToSearchTop(m_form), 82) << "the editor starts as tall as it may be";

    auto* splitter = Find<QSplitter>("splMain");
    QSplitterHandle* handle = splitter->handle(1);
    const QPoint grip(handle->width() / 2, handle->height() / 2);
    const auto drag = [&](int dy) {
        QTest::mousePress(handle, Qt::LeftButton, {}, grip);
        QTest::mouseMove(handle, grip + QPoint(0, dy));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(0, dy));
    };
    drag(-100);
    EXPECT_EQ(EditorBottomToSearchTop(m_form), 182) << "moving up is allowed";
    drag(300);
    EXPECT_EQ(EditorBottomToSearchTop(m_form), 82) << "no closer than 82 pixels";

    // Growing the window gives the room to the result list; the limit still holds.
    m_form.resize(600, 600);
    QCoreApplication::processEvents();
    EXPECT_GE(EditorBottomToSearchTop(m_form), 82);
}

// Printing: the dialog is answered with a PDF file; the result is read back with pdftotext.
class LogPrintTest : public LogFormTest {
protected:
    LogPrintTest() {
        QString text;
        for (int line = 1; line <= 200; ++line)
            text += QStringLiteral("%1 entry number %2\n").arg(QChar(line % 3 == 0 ? u'!' : u'-')).arg(line);
        text += QStringLiteral("\tafter a tab");
        m_form.txtLog()->SetPlainText(text);
    }

    // Answers the print dialog: a PDF file on A4, the range when From is not 0.
    void AnswerPrint(const std::string& pdf, int from = 0, int to = 0) {
        m_dialogs.dialogAnswers.push_back([this, pdf, from, to](QDialog& dialog) {
            auto& print = dynamic_cast<QPrintDialog&>(dialog);
            QPrinter* printer = print.printer();
            m_offeredMin = print.minPage();
            m_offeredMax = print.maxPage();
            m_presetTo = printer->toPage();
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(QString::fromStdString(pdf));
            printer->setPageSize(QPageSize(QPageSize::A4));
            if (from > 0) {
                printer->setPrintRange(QPrinter::PageRange);
                printer->setFromTo(from, to);
            }
            return static_cast<int>(QDialog::Accepted);
        });
    }

    // The text of each page, ligatures spelt out.
    static QStringList PdfPages(const std::string& pdf) {
        QProcess process;
        process.start(QStringLiteral("pdftotext"),
                      {QStringLiteral("-layout"), QString::fromStdString(pdf), QStringLiteral("-")});
        EXPECT_TRUE(process.waitForFinished(60000));
        QStringList pages = QString::fromUtf8(process.readAllStandardOutput())
                                .normalized(QString::NormalizationForm_KC)
                                .split(u'\f');
        if (!pages.isEmpty() && pages.back().trimmed().isEmpty())
            pages.removeLast();
        return pages;
    }

    void Print() { Find<QPushButton>("cmdPrintLog")->click(); }

    int m_offeredMin = -1;
    int m_offeredMax = -1;
    int m_presetTo = -1;
};

TEST_F(LogPrintTest, EveryPageCarriesTheTitleAndItsNumberOnceAndLinesTheirNumbers) {
    const std::string pdf = Temp("all.pdf");
    AnswerPrint(pdf);
    Print();
    const QStringList pages = PdfPages(pdf);
    ASSERT_GE(pages.size(), 3);
    const int count = static_cast<int>(pages.size());
    EXPECT_EQ(m_offeredMin, 1);
    EXPECT_EQ(m_offeredMax, m_presetTo) << "the range ends at the page count";
    for (int page = 1; page <= count; ++page) {
        SCOPED_TRACE(page);
        const QString& text = pages[page - 1];
        EXPECT_EQ(text.count(QStringLiteral("Brimvale Profile - Daily")), 1);
        EXPECT_EQ(text.count(QStringLiteral("Page: %1 of %2").arg(page).arg(count)), 1);
        EXPECT_EQ(text.count(QStringLiteral("Page: ")), 1);
    }
    const QString all = pages.join(QString());
    EXPECT_TRUE(all.contains(QRegularExpression(QStringLiteral("\\b150\\s+! entry number 150\\b"))));
    EXPECT_TRUE(all.contains(QRegularExpression(QStringLiteral("\\b201\\s+after a tab"))));
    EXPECT_EQ(all.count(QStringLiteral("entry number")), 200) << "no line lost between pages";

    // The second print from the same window has the same two header lines.
    const std::string again = Temp("again.pdf");
    AnswerPrint(again);
    Print();
    const QStringList secondPages = PdfPages(again);
    ASSERT_EQ(secondPages.size(), pages.size());
    EXPECT_EQ(secondPages[0].count(QStringLiteral("Brimvale Profile - Daily")), 1);
    EXPECT_EQ(secondPages[0].count(QStringLiteral("Page: ")), 1);
}

TEST_F(LogPrintTest, APageRangePrintsOnlyThosePages) {
    const std::string pdf = Temp("range.pdf");
    AnswerPrint(pdf, 2, 3);
    Print();
    const QStringList pages = PdfPages(pdf);
    ASSERT_EQ(pages.size(), 2);
    const QRegularExpression pageNumber(QStringLiteral("Page: (\\d+) of (\\d+)"));
    const auto first = pageNumber.match(pages[0]);
    const auto second = pageNumber.match(pages[1]);
    ASSERT_TRUE(first.hasMatch() && second.hasMatch());
    EXPECT_EQ(first.captured(1), QStringLiteral("2"));
    EXPECT_EQ(second.captured(1), QStringLiteral("3"));
    EXPECT_GE(first.captured(2).toInt(), 3);
    EXPECT_FALSE(pages.join(QString()).contains(QStringLiteral("entry number 1\n")));
}

TEST_F(LogPrintTest, LongLinesBreakAtTheirBlanksAndLinesWithoutBlanksAtTheMargin) {
    QString words = QStringLiteral("-");
    for (int i = 0; i < 40; ++i)
        words += QStringLiteral(" Application");
    const QString path = QStringLiteral("! ") + QString(300, u'x');
    m_form.txtLog()->SetPlainText(words + u'\n' + path);
    const std::string pdf = Temp("wrapped.pdf");
    AnswerPrint(pdf);
    Print();
    const QStringList pages = PdfPages(pdf);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages[0].count(QStringLiteral("Application")), 40) << "no word cut in two";
    EXPECT_EQ(pages[0].count(u'x'), 300) << "a line without blanks is cut, nothing lost";
    EXPECT_GE(pages[0].count(QRegularExpression(QStringLiteral("x{20,}\\s*\\n"))), 4) << "over several lines";
}

TEST_F(LogPrintTest, ErrorLinesArePrintedRed) {
    const std::string pdf = Temp("colour.pdf");
    AnswerPrint(pdf, 1, 1);
    Print();
    const QString png = QString::fromStdString(Temp("colour"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("pdftoppm"),
                                {QStringLiteral("-r"), QStringLiteral("60"), QStringLiteral("-png"),
                                 QStringLiteral("-singlefile"), QString::fromStdString(pdf), png}),
              0);
    const QImage image(png + QStringLiteral(".png"));
    ASSERT_FALSE(image.isNull());
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            red += pixel.red() > 200 && pixel.green() < 100 && pixel.blue() < 100 ? 1 : 0;
        }
    EXPECT_GT(red, 50);
}

TEST_F(LogPrintTest, CancellingThePrintDialogPrintsNothing) {
    m_dialogs.dialogAnswers.push_back([](QDialog& dialog) {
        dynamic_cast<QPrintDialog&>(dialog).printer()->setOutputFileName(
            QStringLiteral("/nonexistent/x.pdf"));
        return static_cast<int>(QDialog::Rejected);
    });
    Print();
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(m_dialogs.dialogsShown, std::vector<QString>({QStringLiteral("dlgPrint")}));
}

TEST_F(LogPrintTest, APrinterThatCannotStartIsReported) {
    m_dialogs.dialogAnswers.push_back([](QDialog& dialog) {
        QPrinter* printer = dynamic_cast<QPrintDialog&>(dialog).printer();
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QStringLiteral("/nonexistent/folder/x.pdf"));
        return static_cast<int>(QDialog::Accepted);
    });
    Print();
    EXPECT_EQ(m_dialogs.MessageTexts(), std::vector<QString>({QStringLiteral("Unable to print the log.")}));
}

} // namespace
