namespace DATUM {

void UnitInit() {}
void UnitDone() {}

}  // namespace DATUM
