namespace TextFiles {

void UnitInit() {}
void UnitDone() {}

}  // namespace TextFiles
