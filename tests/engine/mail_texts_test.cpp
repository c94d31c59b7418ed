// The texts of the backup message and the run notification, checked without a server.
#include "engine/mail_texts.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool AnyLineHolds(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

TBackupSummary SummaryWithErrors() {
    TBackupSummary summary;
    summary.FilesTotal = 12;
    summary.Errors = 3;
    summary.Warnings = 1;
    return summary;
}

} // namespace

TEST(MailTexts, NotificationListsEverySourceAndEscapesTheProfileNameInHtml) {
    TBackupProfile profile;
    profile.Name = "Docs <&> \"mine\"";
    profile.Sources = {"/home/me/a/", "/home/me/b.txt"};
    profile.DriveDestination.Path = "/backup/";

    const TMailTexts texts = NotificationMailTexts(profile, SummaryWithErrors(), false);

    EXPECT_TRUE(HasLine(texts.Plain, "Sources:\t/home/me/a/"));
    EXPECT_TRUE(HasLine(texts.Plain, "        \t/home/me/b.txt"));
    EXPECT_TRUE(HasLine(texts.Plain, "Destination: \t/backup/"));
    EXPECT_TRUE(HasLine(texts.Plain, "Errors:\t3"));
    EXPECT_TRUE(AnyLineHolds(texts.Html, "Docs &lt;&amp;&gt; &quot;mine&quot;"));
    EXPECT_FALSE(AnyLineHolds(texts.Html, "Docs <&>"));
    EXPECT_FALSE(AnyLineHolds(texts.Html, "A backup log has been attached"));

    EXPECT_TRUE(AnyLineHolds(NotificationMailTexts(profile, SummaryWithErrors(), true).Html,
                             "<p>A backup log has been attached to this message</p>"));
}

TEST(MailTexts, BackupMessageNamesTheProfileAndItsTotals) {
    const TMailTexts texts = BackupMailTexts("Photos", SummaryWithErrors());

    EXPECT_TRUE(HasLine(texts.Plain, "This message contains your 'Photos' profile backup."));
    EXPECT_TRUE(HasLine(texts.Plain, "Files:\t12"));
    EXPECT_TRUE(AnyLineHolds(texts.Html, "<font color=\"red\">3</font>"));
    EXPECT_EQ(texts.Html.front(), "<html>");
    EXPECT_EQ(texts.Html.back(), "</html>");
}
