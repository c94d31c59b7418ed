// The texts of the backup message and the run notification.
#include "engine/mail_texts.h"

#include "engine/date_time_format.h"
#include "engine/helpers.h"
#include "engine/net/maker.h"

namespace {

const char FontFace[] = "verdana, tahoma, arial, helvetica";
const char Dots[] = "......................................................"; // 54

std::string Html(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string FontStart(const char* extra = "") {
    return std::string("<font face=\"") + FontFace + "\" size=\"2\"" + extra + ">";
}

// One row of the summary table: the label right-aligned, a no-wrap filler of dots, the value.
std::string SummaryRow(const std::string& label, const std::string& valueHtml) {
    return "<tr><td align=\"right\">" + FontStart() + Html(label) + "</font></td><td nowrap=\"nowrap\">" +
           FontStart() + Dots + "</font></td><td>" + FontStart() + valueHtml + "</font></td></tr>";
}

std::string Red(const std::string& text) {
    return "<font color=\"red\">" + text + "</font>";
}

// The body around the summary rows: the name header cell, the inner table, the maker's footer.
std::vector<std::string> HtmlBody(const std::vector<std::string>& intro, const std::string& name,
                                  const std::vector<std::string>& rows,
                                  const std::vector<std::string>& closing, const std::string& broughtBy) {
    std::vector<std::string> lines = {"<html>", "<body>", FontStart()};
    lines.insert(lines.end(), intro.begin(), intro.end());
    lines.push_back("<table border=\"0\" cellpadding=\"3\">");
    lines.push_back("<tr><td bgcolor=\"#0066CC\">" + FontStart(" color=\"white\"") + "<b>" + Html(name) +
                    "</b></font></td></tr>");
    lines.push_back("<tr><td bgcolor=\"#f7efde\">");
    lines.push_back("<table width=\"100%\" cellpadding=\"3\" cellspacing=\"0\" border=\"0\">");
    lines.insert(lines.end(), rows.begin(), rows.end());
    lines.push_back("</table>");
    lines.push_back("</td></tr>");
    lines.push_back("</table>");
    lines.insert(lines.end(), closing.begin(), closing.end());
    lines.push_back("<p>" + Html(broughtBy) + "<br /></p>");
    lines.push_back("<blockquote><b>" + Html(AppTitle) + "</b><br />");
    lines.push_back(std::string(MakerCompanyName) + "<br />");
    lines.push_back(std::string("<a href=\"") + MakerWebAddress + "\">" + MakerWebAddress + "</a><br />");
    lines.push_back(std::string(MakerRightsNotice) + "</blockquote>");
    lines.insert(lines.end(), {"</font>", "</body>", "</html>"});
    return lines;
}

std::vector<std::string> PlainFooter(const std::string& broughtBy) {
    return {"-------------------------------", broughtBy, AppTitle, MakerCompanyName, MakerWebAddress};
}

} // namespace

TMailTexts BackupMailTexts(const std::string& name, const TBackupSummary& summary) {
    TMailTexts texts;
    texts.Plain = {
        AppTitle + " E-mail Backup",
        "",
        "This message contains your '" + name + "' profile backup.",
        "Below is the backup summary:",
        "",
        "Files:\t" + std::to_string(summary.FilesTotal),
        "Size:\t" + FormatFileSize("0", summary.BytesTotal),
        "Errors:\t" + std::to_string(summary.Errors),
        "Time:\t" + FormatDateTime("hh:nn:ss ampm", summary.BeginTime),
        "",
        "",
    };
    const auto footer = PlainFooter("This backup brought to you by: ");
    texts.Plain.insert(texts.Plain.end(), footer.begin(), footer.end());
    const std::vector<std::string> rows = {
        SummaryRow("Files:", std::to_string(summary.FilesTotal)),
        SummaryRow("Size:", Html(FormatFileSize("0", summary.BytesTotal))),
        SummaryRow("Errors:", Red(std::to_string(summary.Errors))),
        SummaryRow("Time:", Html(FormatDateTime("mm/dd/yyyy hh:nn:ss am/pm", summary.BeginTime))),
    };
    const std::vector<std::string> intro = {
        "<p><b>" + Html(AppTitle) + " E-mail Backup</b></p>",
        "<p>This message contains the <font color=\"blue\">" + Html(name) +
            "</font> profile backup.<br />Below is a backup summary:</p>",
    };
    texts.Html = HtmlBody(intro, name, rows, {}, "This backup brought to you by:");
    return texts;
}

namespace {

std::vector<std::string> NotificationPlain(const TBackupProfile& profile, const TBackupSummary& summary,
                                           const std::string& date) {
    std::vector<std::string> plain = {AppTitle + " Backup Notification",
                                      date,
                                      "",
                                      "This message contains a summary of backup profile '" + profile.Name +
                                          "'",
                                      "",
                                      "Below is the backup summary:",
                                      ""};
    for (std::size_t i = 0; i < profile.Sources.size(); ++i)
        plain.push_back((i == 0 ? "Sources:" : "        ") + std::string("\t") + profile.Sources[i]);
    const std::vector<std::string> rest = {
        "Destination: \t" + profile.DriveDestination.Path,
        "Files:\t" + std::to_string(summary.FilesTotal),
        "Size:\t" + FormatFileSize("0", summary.BytesTotal),
        "Errors:\t" + std::to_string(summary.Errors),
        "Warnings:\t" + std::to_string(summary.Warnings),
        "Begin Time:\t" + FormatDateTime("mm/dd/yyyy hh:nn:ss ampm", summary.BeginTime),
        "End Time:\t" + FormatDateTime("mm/dd/yyyy hh:nn:ss ampm", summary.EndTime),
        "",
    };
    plain.insert(plain.end(), rest.begin(), rest.end());
    const auto footer = PlainFooter("This backup notification brought to you by: ");
    plain.insert(plain.end(), footer.begin(), footer.end());
    return plain;
}

std::vector<std::string> NotificationHtml(const TBackupProfile& profile, const TBackupSummary& summary,
                                          const std::string& date, bool logAttached) {
    std::string sourcesHtml;
    for (const std::string& source : profile.Sources)
        sourcesHtml += Html(source) + "<br />";
    const std::vector<std::string> rows = {
        SummaryRow("Sources:", sourcesHtml),
        SummaryRow("Destination:", Html(profile.DriveDestination.Path)),
        SummaryRow("Files:", std::to_string(summary.FilesTotal)),
        SummaryRow("Size:", Html(FormatFileSize("0", summary.BytesTotal))),
        SummaryRow("Errors:", Red(std::to_string(summary.Errors))),
        SummaryRow("Warnings:", Red(std::to_string(summary.Warnings))),
        SummaryRow("Begin Time:", Html(FormatDateTime("mm/dd/yyyy hh:nn:ss am/pm", summary.BeginTime))),
        SummaryRow("End Time:", Html(FormatDateTime("mm/dd/yyyy hh:nn:ss am/pm", summary.EndTime))),
    };
    const std::vector<std::string> intro = {
        "<p><b>" + Html(AppTitle) + " Backup Notification</b><br /><font color=\"#0066CC\">" + Html(date) +
            "</font></p>",
        "<p>This message contains a summary of backup profile <font color=\"blue\">" + Html(profile.Name) +
            "</font><br /><br />Below is the backup summary:</p>",
    };
    std::vector<std::string> closing;
    if (logAttached)
        closing.push_back("<p>A backup log has been attached to this message</p>");
    return HtmlBody(intro, profile.Name, rows, closing, "This backup notification brought to you by:");
}

} // namespace

TMailTexts NotificationMailTexts(const TBackupProfile& profile, const TBackupSummary& summary,
                                 bool logAttached) {
    const std::string date = FormatDateTime("mmmm d, yyyy", summary.BeginTime);
    return {NotificationPlain(profile, summary, date), NotificationHtml(profile, summary, date, logAttached)};
}
