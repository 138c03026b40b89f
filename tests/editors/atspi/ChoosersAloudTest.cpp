// The choosers as a screen reader meets them: read over the accessibility bus (AT-SPI) by a
// separate process, from a window on a virtual display (session.sh sets both up). A chooser is
// named by its caption, and its entry, loaded from the record, can be read without opening its
// list.

#include "tests/editors/EditorFixture.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTabWidget>
#include <QTimer>

namespace talmar::test {
namespace {

class ChoosersAloud : public EditorWindowTest {
protected:
    // Runs the reader on this process for these captions while the window keeps answering the
    // bus; one object per chooser.
    std::vector<QJsonObject> ReadOverTheBus(const QStringList& captions) {
        QProcess reader;
        QStringList args = {QString::fromUtf8(TALMAR_SOURCE_DIR "/tests/editors/atspi/read_choosers.py"),
                            QString::number(QCoreApplication::applicationPid())};
        args += captions;
        QEventLoop loop;
        QObject::connect(&reader, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&reader, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit); // the reader gives up after 60 s
        reader.start("/usr/bin/python3", args);
        loop.exec();
        if (reader.state() != QProcess::NotRunning) {
            reader.kill();
            reader.waitForFinished();
        }
        const QString err = QString::fromUtf8(reader.readAllStandardError());
        EXPECT_EQ(reader.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(reader.exitCode(), 0) << err.toStdString();
        std::vector<QJsonObject> out;
        for (const QByteArray& line : reader.readAllStandardOutput().split('\n'))
            if (!line.trimmed().isEmpty())
                out.push_back(QJsonDocument::fromJson(line).object());
        return out;
    }
};

TEST_F(ChoosersAloud, EachChooserIsReadByItsCaptionWithTheRecordsEntry) {
    lf->show();
    lf->DBNavigator1->Click(TDBNavigator::Last); // КП-15: channel 18, 600 Ω at the line's end
    lf->General->setCurrentIndex(ProfileLF().TabIndex("TabSheet2"));
    const auto read =
        ReadOverTheBus({QString::fromUtf8("Сопротивление линии, Ом"), QString::fromUtf8("Частотный канал")});
    ASSERT_EQ(read.size(), 2u);
    const struct {
        const char* name;
        const char* entry;
    } expected[] = {{"Сопротивление линии, Ом", "600"}, {"Частотный канал", "18 канал -  3510  Гц"}};
    for (std::size_t i = 0; i < 2; ++i) {
        const QJsonObject& c = read[i];
        SCOPED_TRACE(QJsonDocument(c).toJson(QJsonDocument::Compact).toStdString());
        EXPECT_EQ(c["name"].toString().toStdString(), expected[i].name);
        EXPECT_EQ(c["role"].toString().toStdString(), "combo box");
        EXPECT_EQ(c["selected"].toString().toStdString(), expected[i].entry);
        EXPECT_EQ(c["text"].toString().toStdString(), expected[i].entry);
        EXPECT_FALSE(c["states"].toVariant().toStringList().contains("editable"));
    }
    lf->hide();
}

} // namespace
} // namespace talmar::test
