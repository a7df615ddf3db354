// TForm5: the "Last ADC measure" window with its very large digits.
#pragma once

#include <QDialog>

#include <cstdint>
#include <vector>

#include "app/app_context.h"

class TForm5 : public QDialog {
    Q_OBJECT

public:
    explicit TForm5(kv::AppContext& ctx, QWidget* parent = nullptr);

    void ShowMeasure(const std::vector<std::uint8_t>& command, std::uint8_t count);

private:
    kv::AppContext& ctx_;
};
