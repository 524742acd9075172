#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include <cerrno>
#include <sys/types.h>

#include "base/cancellation.h"
#include "base/files.h"
#include "tutor-engine/merid_office_importer.h"
#include "tutor-engine/teacher_workspace_error.h"

using meridcore::MeridArchiveError;
using meridcore::MeridImportedText;
using meridcore::MeridOfficeImporter;
using Case = MeridArchiveError::Case;

namespace {

using Entries = QList<std::pair<QString, QByteArray>>;

QByteArray docxXml(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>" +
           body + "</w:body></w:document>";
}

QByteArray slideXml(const QList<QByteArray>& paragraphs) {
    QByteArray body;
    for (const QByteArray& paragraph : paragraphs) body += "<a:p><a:r><a:t>" + paragraph + "</a:t></a:r></a:p>";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<p:sld xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
           "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"><p:cSld><p:spTree><p:sp><p:txBody>" +
           body + "</p:txBody></p:sp></p:spTree></p:cSld></p:sld>";
}

QString slideName(int number) { return QStringLiteral("ppt/slides/slide%1.xml").arg(number); }

class OfficeImporterTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    // Writes the entries into a folder of their own and zips them, in the given order, without
    // folder entries or extra attributes, so the archive's listing is exactly the entry names.
    QString archive(const QString& name, const Entries& entries, bool store = false) {
        const QString content = dir_.filePath(QStringLiteral("content-") + QString::number(++serial_));
        QStringList names;
        for (const auto& [entry, bytes] : entries) {
            const QString path = content + u'/' + entry;
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes);
            names.append(entry);
        }
        const QString target = dir_.filePath(name);
        QFile::remove(target);
        QProcess zip;
        zip.setWorkingDirectory(content);
        QStringList arguments{QStringLiteral("-q"), QStringLiteral("-X"), QStringLiteral("-D")};
        if (store) arguments.append(QStringLiteral("-0"));
        zip.start(QStringLiteral("zip"), arguments + QStringList{target} + names);
        EXPECT_TRUE(zip.waitForFinished(60000)) << "zip is needed by these tests";
        EXPECT_EQ(zip.exitCode(), 0);
        QDir(content).removeRecursively();
        return target;
    }

    QString file(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        return path;
    }

    QTemporaryDir dir_;
    int serial_ = 0;
};

template <typename F>
std::optional<Case> archiveErrorOf(F&& body) {
    try {
        body();
    } catch (const MeridArchiveError& error) {
        return error.errorCase();
    }
    return std::nullopt;
}

}  // namespace

TEST_F(OfficeImporterTest, WordParagraphsAreJoinedByBlankLines) {
    const QByteArray body =
        "<w:p><w:r><w:t>Hel</w:t></w:r><w:r><w:t xml:space=\"preserve\">lo </w:t></w:r><w:r><w:tab/><w:t>world</w:t></w:r></w:p>"
        "<w:p></w:p><w:p><w:r><w:t>  </w:t></w:r></w:p>"
        "<w:p><w:r><w:delText>gone</w:delText><w:instrText>PAGE</w:instrText><w:t>&lt;二&gt;</w:t><w:br/></w:r></w:p>"
        "<w:p><w:r><w:t>a<w:x/>ignored</w:t></w:r></w:p>"
        "<w:sectPr/><w:r><w:t>tail</w:t></w:r>";
    const QString path = archive(QStringLiteral("notes.DOCX"), {{QStringLiteral("word/document.xml"), docxXml(body)}});
    const MeridImportedText result = MeridOfficeImporter::extract(path);
    EXPECT_EQ(result.text, QStringLiteral("Hello world\n\n<二>\n\na\n\ntail"));
    EXPECT_EQ(result.note, QStringLiteral("Word 课件：按段落提取文字，无可靠页码（请按段落核对）。"));
}

TEST_F(OfficeImporterTest, SlidesComeInNumberOrderWithTheirHeaders) {
    const QByteArray empty = slideXml({});
    const QString path = archive(QStringLiteral("deck.pptx"),
                                 {{slideName(10), slideXml({"Ten", "Ten again"})},
                                  {slideName(2), slideXml({"Two"})},
                                  {QStringLiteral("ppt/slides/_rels/slide1.xml.rels"), "<r/>"},
                                  {QStringLiteral("ppt/slideLayouts/slideLayout1.xml"), slideXml({"Layout"})},
                                  {QStringLiteral("ppt/notesSlides/notesSlide1.xml"), slideXml({"Notes"})},
                                  {slideName(9), slideXml({"Nine"})},
                                  {slideName(3), empty},
                                  {slideName(1), slideXml({"One"})}});
    const MeridImportedText result = MeridOfficeImporter::extract(path);
    EXPECT_EQ(result.text, QStringLiteral("[第 1 张幻灯片]\nOne\n\n[第 2 张幻灯片]\nTwo\n\n[第 9 张幻灯片]\nNine\n\n"
                                          "[第 10 张幻灯片]\nTen\nTen again"));
    EXPECT_EQ(result.note, QStringLiteral("PowerPoint 课件：已附幻灯片编号；图表、复杂公式和图片可能未被提取。"));

    EXPECT_EQ(MeridOfficeImporter::slideNumber(QStringLiteral("ppt/slides/slide007.xml")), 7);
    EXPECT_EQ(MeridOfficeImporter::slideNumber(QStringLiteral("ppt/slides/slide99999999999999999999.xml")),
              std::numeric_limits<qint64>::max());
}

TEST_F(OfficeImporterTest, RefusalsOfTheFileItself) {
    EXPECT_EQ(archiveErrorOf([&] { MeridOfficeImporter::extract(file(QStringLiteral("a.doc"), "x")); }),
              Case::unsupported);
    EXPECT_EQ(archiveErrorOf([&] { MeridOfficeImporter::extract(file(QStringLiteral("docx"), "x")); }),
              Case::unsupported);
    EXPECT_EQ(archiveErrorOf([&] { MeridOfficeImporter::extract(file(QStringLiteral("plain.docx"), "just text")); }),
              Case::unreadable);
    EXPECT_EQ(archiveErrorOf([&] {
                  MeridOfficeImporter::extract(
                      archive(QStringLiteral("noword.docx"), {{QStringLiteral("other.xml"), "<a/>"}}));
              }),
              Case::unreadable);
    EXPECT_EQ(archiveErrorOf([&] {
                  MeridOfficeImporter::extract(archive(QStringLiteral("bad.docx"),
                                                       {{QStringLiteral("word/document.xml"), "<w:p><w:t>x</w:p>"}}));
              }),
              Case::unreadable);
    EXPECT_EQ(archiveErrorOf([&] {
                  MeridOfficeImporter::extract(
                      archive(QStringLiteral("blank.docx"),
                              {{QStringLiteral("word/document.xml"), docxXml("<w:p><w:r><w:t> </w:t></w:r></w:p>")}}));
              }),
              Case::empty);
    EXPECT_EQ(archiveErrorOf([&] {
                  MeridOfficeImporter::extract(
                      archive(QStringLiteral("noslides.pptx"), {{QStringLiteral("ppt/presentation.xml"), "<a/>"}}));
              }),
              Case::empty);
    EXPECT_THROW(MeridOfficeImporter::extract(dir_.filePath(QStringLiteral("missing.docx"))), base::FileError);

    // An encrypted member is unreadable (and unzip is never left waiting for a password).
    {
        const QString content = dir_.filePath(QStringLiteral("encrypted"));
        QDir().mkpath(content + QStringLiteral("/word"));
        QFile part(content + QStringLiteral("/word/document.xml"));
        ASSERT_TRUE(part.open(QIODevice::WriteOnly));
        part.write(docxXml("<w:p><w:t>secret</w:t></w:p>"));
        part.close();
        QProcess zip;
        zip.setWorkingDirectory(content);
        zip.start(QStringLiteral("zip"),
                  {QStringLiteral("-q"), QStringLiteral("-P"), QStringLiteral("pw"),
                   dir_.filePath(QStringLiteral("locked.docx")), QStringLiteral("word/document.xml")});
        ASSERT_TRUE(zip.waitForFinished(60000));
        EXPECT_EQ(archiveErrorOf([&] { MeridOfficeImporter::extract(dir_.filePath(QStringLiteral("locked.docx"))); }),
                  Case::unreadable);
    }

    MeridOfficeImporter::Options noProgram;
    noProgram.unzipProgram = dir_.filePath(QStringLiteral("no-such-unzip"));
    const QString good = archive(QStringLiteral("good.docx"),
                                 {{QStringLiteral("word/document.xml"), docxXml("<w:p><w:t>x</w:t></w:p>")}});
    EXPECT_EQ(archiveErrorOf([&] { MeridOfficeImporter::extract(good, noProgram); }), Case::unreadable);
}

TEST_F(OfficeImporterTest, PatternCharactersInTheFileNameReadThatFileOnly) {
    // unzip would read "Lecture [1].docx" as a pattern matching "Lecture 1.docx" beside it.
    const auto document = [&](const QString& name, const QByteArray& text) {
        const QString made =
            archive(QStringLiteral("plain-") + QString::number(serial_ + 1) + QStringLiteral(".zip"),
                    {{QStringLiteral("word/document.xml"), docxXml("<w:p><w:t>" + text + "</w:t></w:p>")}});
        const QString target = dir_.filePath(name);
        EXPECT_TRUE(QFile::rename(made, target));
        return target;
    };
    document(QStringLiteral("Lecture 1.docx"), "neighbour");
    document(QStringLiteral("Deck 1.pptx"), "neighbour");
    EXPECT_EQ(MeridOfficeImporter::extract(document(QStringLiteral("Lecture [1].docx"), "bracketed")).text,
              QStringLiteral("bracketed"));
    EXPECT_EQ(MeridOfficeImporter::extract(document(QStringLiteral("Lecture ?.docx"), "question")).text,
              QStringLiteral("question"));

    const QString deck = archive(QStringLiteral("deck-source.pptx"), {{slideName(1), slideXml({"Starred"})}});
    const QString starred = dir_.filePath(QStringLiteral("Deck *.pptx"));
    ASSERT_TRUE(QFile::rename(deck, starred));
    EXPECT_EQ(MeridOfficeImporter::extract(starred).text, QStringLiteral("[第 1 张幻灯片]\nStarred"));
    // The private link folder is gone afterwards.
    EXPECT_TRUE(QDir(QDir::tempPath()).entryList({QStringLiteral("OrvelOfficeImport-*")}, QDir::Dirs).isEmpty());
}

TEST_F(OfficeImporterTest, FileSizeLimitAcceptsExactlyFortyMiB) {
    const QString over = dir_.filePath(QStringLiteral("big.docx"));
    {
        QFile sparse(over);
        ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
        ASSERT_TRUE(sparse.resize(MeridOfficeImporter::maxFileBytes + 1));
    }
    EXPECT_EQ(archiveErrorOf([&] { MeridOfficeImporter::extract(over); }), Case::tooLarge);

    // A stored (uncompressed) padding member brings a real document to exactly 41,943,040 bytes.
    const QByteArray document = docxXml("<w:p><w:r><w:t>Exact</w:t></w:r></w:p>");
    auto build = [&](qint64 padding) {
        return archive(QStringLiteral("exact.docx"),
                       {{QStringLiteral("word/document.xml"), document},
                        {QStringLiteral("word/media/pad.bin"), QByteArray(padding, 'p')}},
                       true);
    };
    const qint64 overhead = QFileInfo(build(16)).size() - 16;
    const QString exact = build(MeridOfficeImporter::maxFileBytes - overhead);
    ASSERT_EQ(QFileInfo(exact).size(), MeridOfficeImporter::maxFileBytes);
    EXPECT_EQ(MeridOfficeImporter::extract(exact).text, QStringLiteral("Exact"));
}

TEST_F(OfficeImporterTest, PartOutputLimitAcceptsExactlyTwoMillionBytes) {
    auto documentOfSize = [](qint64 size) {
        const QByteArray head = docxXml("<w:p><w:r><w:t>Sized</w:t></w:r></w:p>");
        const qint64 padding = size - head.size() - 7;  // "<!--" + "-->"
        return head + "<!--" + QByteArray(padding, ' ') + "-->";
    };
    const QByteArray exact = documentOfSize(MeridOfficeImporter::maxPartBytes);
    ASSERT_EQ(exact.size(), MeridOfficeImporter::maxPartBytes);
    EXPECT_EQ(MeridOfficeImporter::extract(
                  archive(QStringLiteral("part.docx"), {{QStringLiteral("word/document.xml"), exact}}))
                  .text,
              QStringLiteral("Sized"));
    const QByteArray over = documentOfSize(MeridOfficeImporter::maxPartBytes + 1);
    EXPECT_EQ(archiveErrorOf([&] {
                  MeridOfficeImporter::extract(
                      archive(QStringLiteral("part.docx"), {{QStringLiteral("word/document.xml"), over}}));
              }),
              Case::tooLarge);
    // The same limit holds for each slide.
    const QString deck = archive(QStringLiteral("part.pptx"), {{slideName(1), over}});
    EXPECT_EQ(archiveErrorOf([&] { MeridOfficeImporter::extract(deck); }), Case::tooLarge);
}

TEST_F(OfficeImporterTest, ListingLimitAcceptsExactlyFiftyThousandBytes) {
    // One slide plus padding entries whose names make the listing exactly `size` bytes long.
    auto deckWithListing = [&](qint64 size) {
        Entries entries{{slideName(1), slideXml({"Listed"})}};
        qint64 remaining = size - (slideName(1).size() + 1);
        int index = 0;
        while (remaining > 0) {
            const qint64 line = remaining > 200 ? 100 : remaining;  // the last lines take the rest
            const QString stem = QStringLiteral("pad/%1-").arg(index++, 4, 10, QLatin1Char('0'));
            entries.append({stem + QString(line - 1 - stem.size(), u'x'), QByteArray()});
            remaining -= line;
        }
        return archive(QStringLiteral("listing.pptx"), entries);
    };
    auto listingSize = [](const QString& path) {
        QProcess unzip;
        unzip.start(QStringLiteral("/usr/bin/unzip"), {QStringLiteral("-Z"), QStringLiteral("-1"), path});
        unzip.waitForFinished();
        return unzip.readAllStandardOutput().size();
    };
    const QString exact = deckWithListing(MeridOfficeImporter::maxListingBytes);
    ASSERT_EQ(listingSize(exact), MeridOfficeImporter::maxListingBytes);
    EXPECT_EQ(MeridOfficeImporter::extract(exact).text, QStringLiteral("[第 1 张幻灯片]\nListed"));
    const QString over = deckWithListing(MeridOfficeImporter::maxListingBytes + 1);
    ASSERT_EQ(listingSize(over), MeridOfficeImporter::maxListingBytes + 1);
    EXPECT_EQ(archiveErrorOf([&] { MeridOfficeImporter::extract(over); }), Case::tooLarge);
}

TEST_F(OfficeImporterTest, SlideCountLimitAndTextLimit) {
    Entries slides;
    for (int number = 1; number <= 121; ++number)
        slides.append({slideName(number), slideXml({"S" + QByteArray::number(number)})});
    const MeridImportedText accepted =
        MeridOfficeImporter::extract(archive(QStringLiteral("120.pptx"), slides.mid(0, 120)));
    EXPECT_TRUE(accepted.text.endsWith(QStringLiteral("[第 120 张幻灯片]\nS120")));
    EXPECT_EQ(archiveErrorOf([&] { MeridOfficeImporter::extract(archive(QStringLiteral("121.pptx"), slides)); }),
              Case::tooLarge);

    // 100,000 characters after the joins pass; one more is too long for course material.
    const QByteArray half(49999, 'w');
    const QByteArray exact = docxXml("<w:p><w:t>" + half + "</w:t></w:p><w:p><w:t>" + half + "</w:t></w:p>");
    EXPECT_EQ(MeridOfficeImporter::extract(
                  archive(QStringLiteral("long.docx"), {{QStringLiteral("word/document.xml"), exact}}))
                  .text.size(),
              100000);
    const QByteArray over = docxXml("<w:p><w:t>" + half + "</w:t></w:p><w:p><w:t>" + half + "w</w:t></w:p>");
    try {
        MeridOfficeImporter::extract(
            archive(QStringLiteral("long.docx"), {{QStringLiteral("word/document.xml"), over}}));
        ADD_FAILURE() << "accepted more than 100,000 characters";
    } catch (const meridcore::TeacherWorkspaceError& error) {
        EXPECT_EQ(error.errorCase(), meridcore::TeacherWorkspaceError::Case::materialTooLong);
    }
}

TEST_F(OfficeImporterTest, CancellationEndsTheProgramAndWaitsForIt) {
    const QString path =
        archive(QStringLiteral("c.docx"), {{QStringLiteral("word/document.xml"), docxXml("<w:p><w:t>x</w:t></w:p>")}});

    base::CancellationSource early;
    early.cancel();
    MeridOfficeImporter::Options options;
    options.cancellation = early.token();
    EXPECT_THROW(MeridOfficeImporter::extract(path, options), base::CancellationError);

    // A stand-in for unzip that starts writing a part and then stalls.
    const QString pidFile = dir_.filePath(QStringLiteral("unzip.pid"));
    const QString script = file(QStringLiteral("slow-unzip"), "#!/bin/sh\necho $$ > '" + pidFile.toUtf8() +
                                                                  "'\nprintf '<w:document>'\nexec sleep 60\n");
    QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    base::CancellationSource source;
    options.cancellation = source.token();
    options.unzipProgram = script;
    std::thread canceller([&] {
        for (int i = 0; i < 500 && QFileInfo(pidFile).size() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        source.cancel();
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(MeridOfficeImporter::extract(path, options), base::CancellationError);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));

    QFile pid(pidFile);
    ASSERT_TRUE(pid.open(QIODevice::ReadOnly));
    const pid_t child = pid.readAll().trimmed().toInt();
    ASSERT_GT(child, 0);
    // Ended and reaped: no such process any more (not even a zombie).
    EXPECT_EQ(::kill(child, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST_F(OfficeImporterTest, TextOverTheLimitEndsTheDeckEarly) {
    // Slide 1 alone is over 100,000 characters: the broken slide 2 is never read.
    const QString deck = archive(QStringLiteral("long.pptx"), {{slideName(1), slideXml({QByteArray(100001, 'w')})},
                                                             {slideName(2), "<p:sld><a:p>"}});
    try {
        MeridOfficeImporter::extract(deck);
        ADD_FAILURE() << "accepted more than 100,000 characters";
    } catch (const meridcore::TeacherWorkspaceError& error) {
        EXPECT_EQ(error.errorCase(), meridcore::TeacherWorkspaceError::Case::materialTooLong);
    }
    // Exactly at the limit the next slide is still read.
    const QByteArray exact(100000 - QStringLiteral("[第 1 张幻灯片]\n").size(), 'w');
    const QString fits =
        archive(QStringLiteral("fits.pptx"), {{slideName(1), slideXml({exact})}, {slideName(2), "<p:sld><a:p>"}});
    EXPECT_EQ(archiveErrorOf([&] { MeridOfficeImporter::extract(fits); }), Case::unreadable);
}

TEST(OfficeXmlWords, EntitiesCannotExpandPastThePartLimit) {
    // 600 references to a 4,000-character entity: 2,400,000 characters out of 6 kB of XML.
    QByteArray xml = "<!DOCTYPE r [<!ENTITY a \"" + QByteArray(4000, 'a') + "\">]><r><p><t>";
    for (int i = 0; i < 600; ++i) xml += "&a;";
    xml += "</t></p></r>";
    try {
        MeridOfficeImporter::parseXmlWords(xml);
        ADD_FAILURE() << "entities expanded past the limit";
    } catch (const MeridArchiveError& error) {
        EXPECT_EQ(error.errorCase(), Case::tooLarge);
    }
    // Ordinary use of an entity still reads, and an external one is never fetched.
    EXPECT_EQ(MeridOfficeImporter::parseXmlWords("<!DOCTYPE r [<!ENTITY a \"hi\">]><r><p><t>&a;</t></p></r>"),
              QStringList{QStringLiteral("hi")});
    EXPECT_TRUE(MeridOfficeImporter::parseXmlWords(
                    "<!DOCTYPE r [<!ENTITY a SYSTEM \"file:///etc/passwd\">]><r><p><t>&a;</t></p></r>")
                    .isEmpty());
}

TEST(OfficeXmlWords, OnlyDirectTextOfTextElementsCounts) {
    EXPECT_EQ(
        MeridOfficeImporter::parseXmlWords("<r><a:p><a:t>x</a:t><b:t>y</b:t></a:p><p><t><![CDATA[z]]></t></p></r>"),
        (QStringList{"xy", "z"}));
    EXPECT_THROW(MeridOfficeImporter::parseXmlWords(""), MeridArchiveError);
    EXPECT_THROW(MeridOfficeImporter::parseXmlWords("<a><t>&undefined;</t></a>"), MeridArchiveError);
}
