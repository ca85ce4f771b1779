#include "missing_device_text.h"

QString missingDeviceText(const PortReport& report)
{
    return QStringLiteral(u"Zařízení %1 neexistuje. Připojte převodník a zvolte linku znovu, "
                          u"nebo opravte proměnnou ZELVAX_COM%2.")
        .arg(report.device, QString::number(report.port));
}

QString refusedDeviceText(const PortReport& report)
{
    const QString& device = report.device;
    const QString& group = report.group;
    // A device node that udev has not yet given its group (just after a replug), or one meant
    // for the administrator alone: joining "root" is never the remedy.
    if (group.isEmpty() || group == QLatin1String("root"))
        return QStringLiteral(u"K zařízení %1 nemáte přístup: patří jen správci systému. Buď se "
                              u"právě objevilo a systém mu ještě nepřidělil skupinu, nebo žádnou "
                              u"skupinu pro uživatele nemá. Počkejte chvíli a zvolte linku znovu.")
            .arg(device);
    return QStringLiteral(u"K zařízení %1 nemáte přístup. Patří skupině „%2“: přidejte se do "
                          u"ní (sudo usermod -aG %2 $USER), odhlaste se a znovu přihlaste.")
        .arg(device, group);
}
