#pragma once

#include "engine/object_record.h"
#include "engine/pixel_classifier.h"
#include "settings/sector_tables.h"

namespace tolvane {

// Shape measures of a closed object from its image.
//
// The measures read column 0 and row 0 of the picture, which hold no image data, as outside: the
// colour the picture was prefilled with (BackgroundFill when the object was created), so that they
// count as product exactly when the picture's empty part does.

// Orientation from the second moments of the image pixels that are not background: fills
// BoxCentreX, HalfRows, Eks and Angle (and clamps ImgXMin, ImgXMax, ImgRows to 0..100).
// Pure function of the record and the inputs.
void momentStep(ObjectRecord& record, const ClassifierInputs& inputs, FillColour outside);

// Length, width and elongation from distances to the two axes through the mean point: fills
// Length, Width, LengthMean, WidthMean and Eks.
// Pure function of the record and the inputs.
void projectionStep(ObjectRecord& record, const ClassifierInputs& inputs, FillColour outside);

// momentStep then projectionStep, as at closing and for re-measuring a stored sample.
void shapeMeasures(ObjectRecord& record, const ClassifierInputs& inputs, FillColour outside);

// The same measures for a record whose image outside its box (columns ImgXMin..ImgXMax, rows
// 1..ImgRows) is as creation left it: prefill in rows 1..50, black below; column 0 and row 0 read as
// the prefill. Classes come from the camera's classifier, and only the box is classified. Used at
// closing; gives exactly what shapeMeasures gives with outside = prefill.
void liveShapeMeasures(ObjectRecord& record, PixelClassifier& classifier, FillColour prefill);

}  // namespace tolvane
