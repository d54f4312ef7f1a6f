// The small windows of the setup: Setup Information and Setup Information 2
// (View menu), Set Up Option and the version window.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "document/setup_rules.h"

class QCheckBox;
class QLabel;

namespace ostrand {
class DocumentCore;
}

namespace ostrand::ui {

// A read-only summary: one row of label and value per line, greyed where
// the line does not apply.
class CInfoLinesDlg : public QDialog {
    Q_OBJECT
  public:
    struct Row {
        QLabel* label;
        QLabel* value;
    };
    std::vector<Row> rows;
    // The row that shows `label`'s line (label text and value), for tests.
    QString line(int index) const;
    bool greyed(int index) const;

  protected:
    CInfoLinesDlg(const QString& title, QWidget* parent);
    // Adds a frame with `lines` (indices into `all`), or plain rows without a title.
    template <size_t N>
    void addFrame(const QString& title, const std::array<InfoLine, N>& all,
                  std::initializer_list<int> lines);
    void finish();
};

class CSetupInfoDlg : public CInfoLinesDlg {
    Q_OBJECT
  public:
    CSetupInfoDlg(DocumentCore& core, QWidget* parent = nullptr);
};

class CSetupInfo2Dlg : public CInfoLinesDlg {
    Q_OBJECT
  public:
    CSetupInfo2Dlg(DocumentCore& core, QWidget* parent = nullptr);
};

class CSetupOptionDlg : public QDialog {
    Q_OBJECT
  public:
    // `device`: the device in force (or the Setup dialog's); `pageValues`:
    // the Setup dialog's copy of the setup when opened from there, which
    // takes the choice too; `pagePath`: its Setup File page's path.
    CSetupOptionDlg(DocumentCore& core, const DeviceDefinition* device,
                    SetupValues* pageValues = nullptr, const std::string& pagePath = {},
                    QWidget* parent = nullptr);
    QCheckBox* protect;
    QCheckBox* eraseWithoutPassword;

  public slots:
    void accept() override;

  private:
    DocumentCore& core_;
    const DeviceDefinition* device_;
    int32_t bootType_;
    SetupValues* pageValues_;
    std::string pagePath_;
};

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    CAboutDlg(DocumentCore& core, QWidget* parent = nullptr);
    std::array<QLabel*, 3> lines{};
};

}  // namespace ostrand::ui
