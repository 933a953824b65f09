// The main frame's commands that open the backup-path, repair, store check and
// audit trail windows, and the automatic backup it offers after a card load.

#include "app/CMainFrame.h"
#include "app/CRecorderApp.h"
#include "app/Settings.h"
#include "dialogs/CAuditTrailDlg.h"
#include "dialogs/CBackupDlg.h"
#include "dialogs/CBackupPathDlg.h"
#include "dialogs/CRepairDlg.h"
#include "dialogs/CRetentionDlg.h"
#include "dialogs/CStoreCheckDlg.h"
#include "support/SettingsWrite.h"

namespace lk::gui {

void CMainFrame::OfferAutoBackup(SessionClaim loadClaim, std::function<void(SessionClaim)> closed) {
    backupDlg_->Offer(std::move(loadClaim), std::move(closed));
}

void CMainFrame::SetServices(DialogServices services) {
    if (!services.scheduleBackupReload)
        services.scheduleBackupReload = [this] { ScheduleBackupReload(); };
    if (!services.ejectCard) services.ejectCard = [this] { OnEjectCard(); };
    services_ = std::move(services);
    backupDlg_->SetServices(services_);
}

void CMainFrame::OnToggleAutoBackup() {
    const bool turnOn = !AutoBackup();
    // Backing up automatically into no folder would end at once, unexplained.
    if (turnOn && app_.Settings().BackupPath().empty()) {
        OnSetBackupPath();
        if (app_.Settings().BackupPath().empty()) return;
    }
    ReportSettingsWrite(SetAutoBackup(turnOn), this);
}

void CMainFrame::OnSetBackupPath() {
    CBackupPathDlg dlg(services_, this);
    dlg.exec();
    app_.Settings().Refresh();
}

void CMainFrame::OnRepair() {
    CRepairDlg dlg(
        app_.Session(), services_,
        [this](char letter) {
            // The added records show once the card's log is read again.
            const RecorderState& st = app_.State();
            if (st.viewingBackup == 0 && st.cardDrive == letter) RefreshRecords();
        },
        this);
    dlg.exec();
}

void CMainFrame::OnCheckStore() {
    const AppSettings& settings = app_.Settings();
    if (settings.BackupPath().empty()) {
        OnSetBackupPath();
        if (settings.BackupPath().empty()) return;
    }
    CStoreCheckDlg dlg(settings.BackupPath(), app_.State().devType != 0 ? 1 : 0, services_, this);
    dlg.exec();
}

void CMainFrame::OnAuditTrail() {
    CAuditTrailDlg dlg(app_.Settings().BackupPath(), this);
    dlg.exec();
}

void CMainFrame::OnRetention() {
    const AppSettings& settings = app_.Settings();
    if (settings.BackupPath().empty()) {
        OnSetBackupPath();
        if (settings.BackupPath().empty()) return;
    }
    CRetentionDlg dlg(settings.BackupPath(), app_.State().devType != 0 ? 1 : 0, services_, this);
    dlg.exec();
}

}  // namespace lk::gui
