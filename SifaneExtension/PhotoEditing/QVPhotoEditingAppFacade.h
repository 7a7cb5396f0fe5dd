#pragma once
// The photo-editing controller's facade over the running application core: the facade in its
// extension setting (location type 2, no strength stored per image, no processed image answered
// from the cache), the event tracker, the alerts and the export writer.
#include <memory>

#include "SifaneExtension/PhotoEditing/QVPhotoEditingFacade.h"

std::shared_ptr<QVPhotoEditingFacade> QVMakePhotoEditingAppFacade();
