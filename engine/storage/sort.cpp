namespace SORT {

void UnitInit() {}
void UnitDone() {}

}  // namespace SORT
