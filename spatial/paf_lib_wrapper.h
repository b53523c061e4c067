// PafLibWrapper: the binding of the address-data library "libzrpaf.so",
// loaded at run time. Every function pointer is null until Load binds it;
// the required ones are all bound or the load fails with 991 naming the
// first one missing, in the order of the list below; the optional ones stay
// null when the library lacks them.
//
// Not locked (see LibraryWrapper): the owner loads and unloads it under its
// lock and calls the functions only while it holds the library in use.
#ifndef ZRUTILS_SPATIAL_PAF_LIB_WRAPPER_H
#define ZRUTILS_SPATIAL_PAF_LIB_WRAPPER_H

#include "foundation/library_wrapper.h"

// The functions this library calls (0 is success for the int results).
using PafOpenArfIdFunction = int (*)(int* id, int mode, const char* arf);
using PafClosePafIdFunction = int (*)(int id);
using PafGetErrorDescriptionFunction = int (*)(char* text, int code, int size);
using PafGetPropertiesIdFunction = int (*)(int id, const char* name, char* value, int size);
using PafSetPropertiesIdFunction = int (*)(int id, const char* name, const char* value);
using PafSetGeographicalCodesIdFunction = int (*)(int id, const char* codes);
// query and record may be the same buffer.
using PafGetAddressIdFunction = int (*)(int id, const char* query, char* record, int size);
using PafGetNextAddressIdFunction = int (*)(int id, char* record, int size);
// Functions bound but never called here; their signatures are the
// library's own.
using PafFunction = int (*)();

// The required names after "paf", in the order they are bound, with the
// type of each; then the optional ones.
#define ZRU_PAF_REQUIRED_FUNCTIONS(X)                                        \
  X(OpenPafMemId, PafFunction) X(OpenPafId, PafFunction)                     \
  X(OpenArfId, PafOpenArfIdFunction) X(ClosePafId, PafClosePafIdFunction)    \
  X(GetDpidId, PafFunction) X(GetDpidNonAmasId, PafFunction)                 \
  X(FixLastLineId, PafFunction) X(GetAddressId, PafGetAddressIdFunction)     \
  X(GetNextAddressId, PafGetNextAddressIdFunction)                           \
  X(GetBorderPostcodesId, PafFunction) X(GetPopupHintId, PafFunction)        \
  X(GetNextPopupHintId, PafFunction) X(DpidToAddressId, PafFunction)         \
  X(GetAddressHintId, PafFunction) X(GetNextAddressHintId, PafFunction)      \
  X(GetFindStatusId, PafFunction) X(GetParsedInputId, PafFunction)           \
  X(GetPropertiesId, PafGetPropertiesIdFunction)                             \
  X(SetPropertiesId, PafSetPropertiesIdFunction)                             \
  X(ValidateFullAddressId, PafFunction) X(FormatAddressId, PafFunction)      \
  X(FormatAddressS, PafFunction) X(FormatAddress, PafFunction)               \
  X(ReadLocalityRecord, PafFunction) X(ReadGroupRecord, PafFunction)         \
  X(ReadPointRecord, PafFunction) X(ReadSynonymRecord, PafFunction)          \
  X(GetLocalityRecordCount, PafFunction) X(GetGroupRecordCount, PafFunction) \
  X(GetPointRecordCount, PafFunction) X(GetSynonymRecordCount, PafFunction)  \
  X(BuildBarcode_, PafFunction) X(CustInfoBarcode, PafFunction)              \
  X(GenerateBarcode, PafFunction) X(DpidToBarcode, PafFunction)              \
  X(PostcodeToBsp, PafFunction) X(PostcodeToNpsp, PafFunction)               \
  X(GetErrorDescription, PafGetErrorDescriptionFunction)                     \
  X(ForceCloseAll, PafFunction) X(GetLocalityRecordCountId, PafFunction)     \
  X(GetGroupRecordCountId, PafFunction) X(GetPointRecordCountId, PafFunction) \
  X(GetSynonymRecordCountId, PafFunction)                                    \
  X(ReadLocalityRecordId, PafFunction) X(ReadGroupRecordId, PafFunction)     \
  X(ReadPointRecordId, PafFunction) X(ReadSynonymRecordId, PafFunction)      \
  X(SetGeographicalCodesId, PafSetGeographicalCodesIdFunction)

#define ZRU_PAF_OPTIONAL_FUNCTIONS(X)                                      \
  X(ReadBorderRecord, PafFunction) X(UpdateArfs, PafFunction)              \
  X(ReadBorderRecordId, PafFunction) X(BeginPolygonSearch, PafFunction)    \
  X(GetNextAddressInPolygon, PafFunction)                                  \
  X(GetSearchStatistics, PafFunction) X(BeginGifConcordance, PafFunction)  \
  X(GetNextGifConcordance, PafFunction) X(BeginAddressSearch, PafFunction) \
  X(GetNextAddressSearch, PafFunction)

class PafLibWrapper : public LibraryWrapper {
 public:
  PafLibWrapper() : LibraryWrapper("libzrpaf.so") {}

  // As LibraryWrapper::Unload, and the functions are null again once the
  // library is gone, so that no pointer into an unmapped library remains.
  bool Unload();

#define ZRU_PAF_MEMBER(name, type) type paf##name = nullptr;
  ZRU_PAF_REQUIRED_FUNCTIONS(ZRU_PAF_MEMBER)
  ZRU_PAF_OPTIONAL_FUNCTIONS(ZRU_PAF_MEMBER)
#undef ZRU_PAF_MEMBER

 protected:
  bool LoadFunctions(char* error) override;

 private:
  void Clear();
};

#endif
