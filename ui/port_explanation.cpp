#include "port_explanation.h"

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
        return withSystemText(
            QStringLiteral(u"Zařízení %1 neexistuje. Připojte převodník a zvolte linku znovu, "
                           u"nebo opravte proměnnou ZELVAX_COM%2.")
                .arg(device, QString::number(report.port)),
            report.systemText);
    case PortProblem::PermissionDenied:
        return QStringLiteral(u"K zařízení %1 nemáte přístup. Patří skupině „%2“: přidejte se do "
                              u"ní (sudo usermod -aG %2 $USER), odhlaste se a znovu přihlaste.")
            .arg(device, report.group);
    case PortProblem::Busy:
        return QStringLiteral(u"Zařízení %1 používá jiný program. Ukončete ho a zvolte linku "
                              u"znovu.")
            .arg(device);
    case PortProblem::SettingsRefused:
        return withSystemText(QStringLiteral(u"Zařízení %1 odmítlo nastavení linky; nejspíš "
                                             u"to není sériová linka.")
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
    return QStringLiteral(u"Přijatý text není platné měření: „%1“. Samé nesmyslné znaky "
                          u"obvykle znamenají jinou rychlost linky, než na jakou je teploměr "
                          u"nastaven.")
        .arg(printableExcerpt(received));
}
