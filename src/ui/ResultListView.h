#pragma once

#include <QListView>

#include <functional>

namespace kestrel {

/// A list view that takes one row's height for every row whenever the rows are all equally high, so that
/// laying out a long list costs the same as a short one; otherwise it measures each row. Main thread only.
class ResultListView : public QListView {
    Q_OBJECT
public:
    /// Answers, for a viewport `width` pixels wide, whether every row of the model has the same height.
    using UniformTest = std::function<bool(int width)>;

    explicit ResultListView(QWidget* parent = nullptr);

    /// Asked before each layout of the rows; without one every row is measured.
    void setUniformTest(UniformTest test) { m_uniformTest = std::move(test); }

    /// Decides between one height for all rows and measuring each, then lays the rows out; while the
    /// view is hidden it takes one height for all and lays the rows out again when shown.
    void doItemsLayout() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    UniformTest m_uniformTest;
    bool m_layoutPending = false;
};

} // namespace kestrel
