// TForm2: the calibration window "Graph" with the data grid and the graph.
#pragma once

#include <QMainWindow>

#include "app/app_context.h"

class TForm2 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm2(kv::AppContext& ctx, QWidget* parent = nullptr);

    // The main window's close query: may set canClose to false; saves nothing.
    void AskSaveModified(bool& canClose);

private:
    kv::AppContext& ctx_;
};
