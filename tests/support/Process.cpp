#include "tests/support/Process.h"

#include <QProcess>

namespace talmar::test {

TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& dir, const std::map<std::string, std::string>& env) {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("TALMAR_LOCK_DIR", QString::fromStdString(dir.string()));
    for (const auto& [name, value] : env)
        e.insert(QString::fromStdString(name), QString::fromStdString(value));
    p.setProcessEnvironment(e);
    p.setWorkingDirectory(QString::fromStdString(dir.string()));
    QStringList a;
    for (const std::string& s : args)
        a << QString::fromStdString(s);
    p.start(QString::fromStdString(program), a);
    TProgramRun r;
    if (!p.waitForStarted() || !p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
    } else if (p.exitStatus() == QProcess::NormalExit) {
        r.status = p.exitCode();
    }
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

} // namespace talmar::test
