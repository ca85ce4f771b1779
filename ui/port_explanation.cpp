#include "port_explanation.h"

#include "missing_device_text.h"
#include "received_text.h"

namespace {

QString deviceName(const QString& path, const QString& description)
{
    if (description.isEmpty())
        return path;
    return QStringLiteral(u"%1 – %2").arg(path, description);
}

QString noPortText(int port)
{
    return QStringLiteral(u"Sériový port COM%1 na tomto počítači není. Připojte převodník a "
                          u"zvolte linku znovu, nebo nastavte proměnnou ZELVAX_COM%1.")
        .arg(port);
}

QString withSystemText(const QString& text, const QString& systemText)
{
    if (systemText.isEmpty())
        return text;
    return QStringLiteral(u"%1 (Systém: %2)").arg(text, systemText);
}

QString busyText(const QString& device, const std::optional<PortLock>& lock)
{
    if (lock && !lock->running)
        return QStringLiteral(u"Zařízení %1 je zamčené souborem %2 (vlastník %3), ale program, "
                              u"který ho zamkl (PID %4), už skončil. Odstraňte zámek příkazem "
                              u"sudo rm %2 a zvolte linku znovu.")
            .arg(device, lock->path, lock->owner, QString::number(lock->pid));
    if (lock) {
        const QString holder =
            lock->program.isEmpty()
                ? QStringLiteral(u"PID %1").arg(lock->pid)
                : QStringLiteral(u"%1, PID %2").arg(lock->program).arg(lock->pid);
        return QStringLiteral(u"Zařízení %1 používá jiný program (%2). Ukončete ho a zvolte "
                              u"linku znovu.")
            .arg(device, holder);
    }
    return QStringLiteral(u"Zařízení %1 používá jiný program. Ukončete ho a zvolte linku znovu.")
        .arg(device);
}

} // namespace

QString lineEntryExplanation(int port, const std::optional<PortDevice>& device)
{
    if (!device)
        return noPortText(port);
    QString text =
        QStringLiteral(u"Otevře zařízení %1").arg(deviceName(device->path, device->description));
    if (device->fromEnvironment)
        text += QStringLiteral(u" (podle proměnné ZELVAX_COM%1)").arg(port);
    return text;
}

QString chosenDeviceExplanation(const PortReport& report)
{
    if (report.device.isEmpty())
        return noPortText(report.port);
    const QString device = deviceName(report.device, report.description);
    if (report.problem == PortProblem::None)
        return QStringLiteral(u"Linka používá zařízení %1.").arg(device);
    if (report.problem == PortProblem::DeviceLost)
        return QStringLiteral(u"Linka používala zařízení %1, které zmizelo.").arg(device);
    return QStringLiteral(u"Zařízení %1 se nepodařilo otevřít.").arg(device);
}

QString portFailureExplanation(const PortReport& report)
{
    const QString& device = report.device;
    switch (report.problem) {
    case PortProblem::None:
        break;
    case PortProblem::NoPortPresent:
        return noPortText(report.port);
    case PortProblem::NoSuchDevice:
        return withSystemText(missingDeviceText(report), report.systemText);
    case PortProblem::PermissionDenied:
        return refusedDeviceText(report);
    case PortProblem::Busy:
        return busyText(device, report.lock);
    case PortProblem::SettingsRefused:
        return withSystemText(QStringLiteral(u"Zařízení %1 odmítlo nastavení linky; nejspíš "
                                             u"to není sériová linka.")
                                  .arg(device),
                              report.systemText);
    case PortProblem::TimedOut:
        return withSystemText(QStringLiteral(u"Zařízení %1 neodpovědělo včas. Port Bluetooth "
                                             u"nebo síťový port čeká na své protějšky: zapněte "
                                             u"je, přibližte a zvolte linku znovu.")
                                  .arg(device),
                              report.systemText);
    case PortProblem::DeviceLost:
        return QStringLiteral(u"Zařízení %1 zmizelo, převodník byl nejspíš odpojen. Připojte ho "
                              u"zpět a zvolte linku znovu.")
            .arg(device);
    case PortProblem::OtherFailure:
        return withSystemText(QStringLiteral(u"Zařízení %1 nelze otevřít.").arg(device),
                              report.systemText);
    }
    return QString();
}

QString rejectedReadingExplanation(QStringView received)
{
    // A read planned before the line was chosen again finds a fresh line with nothing on it
    // yet: neither the text nor the line's speed is to blame.
    if (received.isEmpty())
        return QStringLiteral(u"Z teploměru zatím nepřišla žádná data. Měření se ukáže, jakmile "
                              u"dorazí; když nepřichází, zkontrolujte, že je teploměr zapnutý a "
                              u"připojený.");
    return QStringLiteral(u"Přijatý text není platné měření: „%1“. Samé nesmyslné znaky "
                          u"obvykle znamenají jinou rychlost linky, než na jakou je teploměr "
                          u"nastaven.")
        .arg(printableExcerpt(received));
}
