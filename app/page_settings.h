#pragma once

#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QWidget>
#include <array>

#include "app/sector_list_box.h"
#include "ui/hsv_map_widget.h"
#include "ui/tas_switch.h"

namespace tolvane {

// The colour page (TabSettings): the HSV colour map with its switches and legend, the sector list and
// sector buttons of the edited camera, the blue and black background values, and the small sample
// images of both cameras.
class PageSettings : public QWidget {
  Q_OBJECT

 public:
  explicit PageSettings(QWidget* parent = nullptr);

  HsvMapWidget* HSVpaint;  // inside hsvPanel
  TasSwitch* Panel3DSwitch;
  TasSwitch* FonSwitch;
  QLabel* Label33;
  TasSwitch* ColorCamEditSwitch1;
  TasSwitch* ColorCamEditSwitch2;
  TasSwitch* SectorEditorSwitch;
  // The sector lists of camera 1 and camera 2; only the edited camera's is shown.
  SectorListBox* BoxSectorA;
  SectorListBox* BoxSectorB;
  // Brightness of the selected sector: VMIN and VMAX as the line holds them, with their arrows.
  QLabel* vMinLabel;
  QLabel* vMaxLabel;
  TasSwitch* vMinMinus;
  TasSwitch* vMinPlus;
  TasSwitch* vMaxMinus;
  TasSwitch* vMaxPlus;
  TasSwitch* BackgroundSectorButton;
  TasSwitch* RedSectorButton;
  TasSwitch* BlueSectorButton;
  TasSwitch* FullCircleButton;        // "круг"
  TasSwitch* DeleteAllSectorsButton;  // "X"
  // The sector editor ("ред|<<"): a drawing of a sector with a pair of buttons at each edge.
  QFrame* SectorEditorPanel;
  QLabel* SectorEditorPicture;
  TasSwitch* SE_LeftM_Button;
  TasSwitch* SE_LeftP_Button;
  TasSwitch* SE_RightM_Button;
  TasSwitch* SE_RightP_Button;
  TasSwitch* SE_BottomM_Button;
  TasSwitch* SE_BottomP_Button;
  TasSwitch* SE_TopM_Button;
  TasSwitch* SE_TopP_Button;
  // The 3D view over the map ("3D|>>"), with its picture and the tilt and turn buttons.
  QFrame* Panel3D;
  QLabel* Paint3D;
  TasSwitch* turn3DUpButton;
  TasSwitch* turn3DDownButton;
  TasSwitch* turn3DLeftButton;
  TasSwitch* turn3DRightButton;
  TasSwitch* turnBeginButton;
  TasSwitch* CopySectorsButton;
  TasSwitch* FonBlueButton;
  TasSwitch* FonBlackButton;
  QLabel* Paint2;
  QLabel* Paint3;
  QLabel* V_Label;
  // FRminLabel, FRmaxLabel, FGminLabel, FGmaxLabel, FBminLabel, FBmaxLabel.
  // A touch chooses one of them; the arrows step the chosen one.
  std::array<QLabel*, 6> blueFonLabels;
  TasSwitch* BlueFonLeftButton;
  TasSwitch* BlueFonRightButton;
  // The black level of the edited camera (ColorCamEditSwitch1 on: camera 1).
  QLabel* BlackFonLabelA;
  QLabel* BlackFonLabelB;
  TasSwitch* BlackFonLeftButton;
  TasSwitch* BlackFonRightButton;
  // Colour sector lines of the loaded program that were left out; hidden when there are none.
  QLabel* SectorStatusLabel;
  QProgressBar* UpdateGauge;

 private:
  void buildSectorEditor();
  void build3DPanel();
};

}  // namespace tolvane
