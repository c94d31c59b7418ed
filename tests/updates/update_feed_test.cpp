// Reading the update feed: version numbers, the parts of the XML, and what the updates window takes
// from a feed for a running version.
#include "updates/update_feed.h"
#include "updates/update_texts.h"
#include "updates/updates_form.h"

#include <QLabel>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UpdateFeedTest, VersionNumbersAreUnsignedDecimalsOrZero) {
    const struct {
        const char* text;
        std::uint32_t value;
    } cases[] = {
        {"7", 7},
        {"007", 7},
        {"4294967295", 4294967295u},
        {"4294967296", 0},
        {"", 0},
        {"-1", 0},
        {"0x10", 0},
        {"2a", 0},
        {" 5", 0},
        {"+5", 0},
        {"99999999999999999999", 0},
    };
    for (const auto& row : cases)
        EXPECT_EQ(ParseVersionNumber(QString::fromLatin1(row.text)), row.value) << row.text;
}

// The parts of Xml, one per line: "<a>", "<a/>", "</a>", "text", "cdata:text".
std::string PartsOf(const std::string& xml) {
    TFeedReader reader(QByteArray::fromStdString(xml));
    TFeedPart part;
    std::string parts;
    while (reader.Next(part)) {
        switch (part.Kind) {
        case TFeedPartKind::StartTag:
            parts += "<" + part.Name.toStdString() + ">\n";
            break;
        case TFeedPartKind::EmptyTag:
            parts += "<" + part.Name.toStdString() + "/>\n";
            break;
        case TFeedPartKind::EndTag:
            parts += "</" + part.Name.toStdString() + ">\n";
            break;
        case TFeedPartKind::Text:
            parts += part.Text.toStdString() + "\n";
            break;
        case TFeedPartKind::CData:
            parts += "cdata:" + part.Text.toStdString() + "\n";
            break;
        }
    }
    return parts;
}

TEST(UpdateFeedTest, ReaderTellsEmptyElementsFromEmptyContentAndJoinsText) {
    EXPECT_EQ(PartsOf("<?xml version=\"1.0\"?>\n<!-- c --><a><b/><c></c><d x='1' /> one &amp; two "
                      "<![CDATA[ raw ]]>\n  \n</a>"),
              "<a>\n<b/>\n<c>\n</c>\n<d/>\none & two\ncdata:raw\n</a>\n");
    EXPECT_EQ(PartsOf("<x:a><x:b/></x:a>"), "<x:a>\n<x:b/>\n</x:a>\n");
}

TEST(UpdateFeedTest, ReaderStopsWhereTheDocumentBreaks) {
    const struct {
        const char* name;
        const char* xml;
        const char* parts;
    } cases[] = {
        {"crossed tags", "<a><b>t</a></b>", "<a>\n<b>\nt\n"},
        {"cut short", "<a><b>t", "<a>\n<b>\n"},
        {"unknown entity", "<a>x &nope; y</a>", "<a>\nx\n"},
        {"two roots", "<a/><b/>", "<a/>\n"},
        {"not xml", "\x01\x02 garbage", ""},
        {"empty", "", ""},
        {"nested entities", "<!DOCTYPE a [<!ENTITY e \"&e;\">]><a>&e;</a>", "<a>\n"},
    };
    for (const auto& row : cases)
        EXPECT_EQ(PartsOf(row.xml), row.parts) << row.name;
}

std::string Version(const char* numbers, const std::string& content = "") {
    int major = 0, minor = 0, release = 0, build = 0;
    std::sscanf(numbers, "%d.%d.%d.%d", &major, &minor, &release, &build);
    return "<version major=\"" + std::to_string(major) + "\" minor=\"" + std::to_string(minor) +
           "\" release=\"" + std::to_string(release) + "\" build=\"" + std::to_string(build) + "\">" +
           content + "</version>";
}

std::string Link(const char* caption, const char* type, const char* address) {
    return std::string("<link caption=\"") + caption + "\" type=\"" + type + "\">" + address + "</link>";
}

std::string Feed(const std::string& versions) {
    return "<?xml version=\"1.0\"?>\n<feed><versions>\n" + versions + "\n</versions></feed>";
}

// The links of a list: "caption type address" each, joined by "; ".
std::string LinksOf(const QTreeWidget* list) {
    std::string links;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        if (!links.empty())
            links += "; ";
        links += item->text(0).toStdString() + " " + std::to_string(item->data(0, Qt::UserRole).toInt()) +
                 " " + item->text(1).toStdString();
    }
    return links;
}

// What a panel shows: the version, or its text when it offers nothing.
std::string PanelOf(const TfrmUpdates& form, const char* version, const char* text) {
    const auto* versionLabel = form.findChild<QLabel*>(version);
    if (versionLabel->isVisibleTo(&form))
        return versionLabel->text().toStdString();
    return form.findChild<QLabel*>(text)->text().toStdString();
}

struct FeedCase {
    const char* name;
    std::string feed;
    bool result;
    const char* update;  // the update panel's version, or its text
    const char* upgrade; // the upgrade panel's version, or its text
    std::string updateLinks = {};
    std::string upgradeLinks = {};
    const char* cost = "$0.00";
    const char* order = "";
    bool checkUpdates = true;
    bool checkUpgrades = true;
};

TEST(UpdateFeedTest, WhatTheWindowTakesFromAFeedForRunningVersion2015) {
    using namespace update_texts;
    const std::string order =
        "<order price=\"49\" url=\"http://h/order\">"
        "<upgrade-price version-major=\"02\" version-minor=\"0\" price=\"1\" url=\"http://h/02\"/>"
        "<upgrade-price version-major=\"2\" version-minor=\"0\" price=\"19\" url=\"http://h/a\"/>"
        "<upgrade-price version-major=\"1\" version-minor=\"0\" price=\"29\" url=\"http://h/b\"/>"
        "<upgrade-price version-major=\"2\" version-minor=\"0\" price=\"9\" url=\"http://h/c\"/>"
        "<upgrade-price version-major=\"2\" version-minor=\"0\" price=\"5\" url=\"http://h/d\">"
        "</upgrade-price></order>";
    const FeedCase cases[] = {
        {"the running version", Feed(Version("2.0.1.5", Link("s", "file", "http://h/s"))), false, NoUpdates,
         NoUpgrades},
        {"newer build", Feed(Version("2.0.1.7", Link("Setup", "file", "http://h/s.exe"))), true, "2.0.1.7",
         NoUpgrades, "Setup 1 http://h/s.exe"},
        {"newer release", Feed(Version("2.0.2.0")), true, "2.0.2.0", NoUpgrades},
        {"newer minor", Feed(Version("2.1.0.0", Link("Notes", "doc", "http://h/n") + order)), true, NoUpdates,
         "2.1.0.0", "", "Notes 0 http://h/n", "$9", "http://h/c"},
        {"newer major", Feed(Version("3.0.0.0")), true, NoUpdates, "3.0.0.0"},
        {"older", Feed(Version("1.9.9.9", Link("s", "file", "http://h/s"))), false, NoUpdates, NoUpgrades},
        {"newer then older",
         Feed(Version("2.0.1.7", Link("a", "file", "A")) + Version("2.0.1.6", Link("b", "doc", "B"))), true,
         "2.0.1.7", NoUpgrades, "a 1 A"},
        {"older then newer",
         Feed(Version("2.0.1.6", Link("b", "doc", "B")) + Version("2.0.1.7", Link("a", "file", "A"))), true,
         "2.0.1.7", NoUpgrades, "b 0 B; a 1 A"},
        {"upgrades not checked", Feed(Version("3.0.0.0", Link("u", "file", "U")) + Version("2.0.1.6")), true,
         "2.0.1.6", UpgradesNotChecked, "", "", "$0.00", "", true, false},
        {"updates not checked", Feed(Version("2.0.1.6", Link("d", "file", "D"))), false, UpdatesNotChecked,
         NoUpgrades, "", "", "$0.00", "", false, true},
        {"upgrade without order", Feed(Version("2.2.0.0")), true, NoUpdates, "2.2.0.0", "", "", "$0.00", ""},
        {"order without matching price",
         Feed(Version("2.2.0.0", "<order price=\"49\" url=\"http://h/o\"></order>")), true, NoUpdates,
         "2.2.0.0", "", "", "$49", "http://h/o"},
        {"link kinds and empty text",
         Feed(Version("2.0.1.6", Link("a", "file", "A") + Link("b", "other", "") + Link("c", "FILE", " C ") +
                                     "<link caption=\"d\" type=\"doc\"><![CDATA[D]]></link>")),
         true, "2.0.1.6", NoUpgrades, "a 1 A; b -1 ; c -1 C; d 0 "},
        {"no versions element", "<feed>" + Version("2.0.1.6") + "</feed>", false, NoUpdates, NoUpgrades},
        {"versions after the list ends",
         "<feed><versions/><versions></versions>" + Version("2.0.1.6") + "</feed>", true, "2.0.1.6",
         NoUpgrades},
        {"empty version element", Feed("<version major=\"3\" minor=\"0\" release=\"0\" build=\"0\"/>"), false,
         NoUpdates, NoUpgrades},
        {"names match exactly", Feed("<Version major=\"3\"></Version><version Major=\"3\"></version>"), false,
         NoUpdates, NoUpgrades},
        {"bad numbers count as zero",
         Feed("<version major=\"2\" minor=\"0x1\" release=\"-1\" build=\"4294967296\"></version>"
              "<version major=\"2\" minor=\"0\" release=\"1\" build=\"4294967295\"></version>"),
         true, "2.0.1.4294967295", NoUpgrades},
        // What was read before the break counts, down to the link whose end never came.
        {"broken in the second version",
         Feed(Version("2.0.1.6", Link("a", "file", "A")) + "<version major=\"3\"><link>B</version>"), true,
         "2.0.1.6", "3.0.0.0", "a 1 A", " -1 B"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        TfrmUpdates form(nullptr);
        form.SetCurrentVersion({2, 0, 1, 5});
        form.CheckUpdates = row.checkUpdates;
        form.CheckUpgrades = row.checkUpgrades;
        EXPECT_EQ(form.ParseFeed(row.feed), row.result);
        EXPECT_EQ(PanelOf(form, "lblUpdateVersion", "lblUpdateText"), row.update);
        EXPECT_EQ(PanelOf(form, "lblUpgradeVersion", "lblUpgradeText"), row.upgrade);
        EXPECT_EQ(LinksOf(form.findChild<QTreeWidget*>("lvwUpdateDownload")), row.updateLinks);
        EXPECT_EQ(LinksOf(form.findChild<QTreeWidget*>("lvwUpgradeDownload")), row.upgradeLinks);
        EXPECT_EQ(form.findChild<QLabel*>("lblUpgradeCost")->text().toStdString(), row.cost);
        EXPECT_EQ(form.findChild<QLabel*>("lnkUpgradeOrder")->toolTip().toStdString(), row.order);
    }
}

} // namespace
