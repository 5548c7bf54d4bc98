#pragma once
// The per-core usage panel: a header with the core counts, then a P-core card
// and an E-core card.
#include <QWidget>
#include <cstdint>
#include <vector>

#include "app/monitors/core_usage.h"

class QLabel;

namespace korvane::ui {

class CoreGroupView;

class CoreVisualizerView : public QWidget {
    Q_OBJECT
public:
    explicit CoreVisualizerView(QWidget* parent = nullptr);

    void setCoreCounts(std::int64_t pCoreCount, std::int64_t eCoreCount);
    void setPCoreUsages(const std::vector<app::CoreUsage>& usages);
    void setECoreUsages(const std::vector<app::CoreUsage>& usages);

    CoreGroupView* pCoreGroup() const { return pGroup_; }
    CoreGroupView* eCoreGroup() const { return eGroup_; }
    QLabel* oneKindNote() const { return oneKind_; }
    QString countsText() const;

private:
    QLabel* counts_ = nullptr;
    QLabel* oneKind_ = nullptr;
    CoreGroupView* pGroup_ = nullptr;
    CoreGroupView* eGroup_ = nullptr;
};

}  // namespace korvane::ui
