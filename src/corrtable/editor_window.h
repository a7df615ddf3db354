// TForm4: the correction table editor "Correction table".
#pragma once

#include <QDialog>

#include <string>

#include "app/app_context.h"

class TForm4 : public QDialog {
    Q_OBJECT

public:
    explicit TForm4(kv::AppContext& ctx, QWidget* parent = nullptr);

    void ShowTable();
    int ReadTableEdits();
    void LoadTableFile(const std::string& fileName, kv::corrtable::CorrTableData& buffer);

private:
    kv::AppContext& ctx_;
};
